#!/usr/bin/python3
"""The job of the program's geometry fit done with pyFAI, for timing it beside
bench/calibration_bench.cpp: a 2048 x 2048 flat detector of 0.1 mm pixels,
200 mm from the sample and swung by 10 degrees, LaB6 rings (Mo K-alpha 1)
over a background with counting noise; the start geometry is 3 per cent too
far and 5 pixels off in both directions. pyFAI picks control points on the
rings from the start geometry (SingleGeometry.extract_cp) and refines the
distance, the point of normal incidence and the tilt (refine2), as the
program's "Start" finds the points and searches Xo, Yo, the angle and the
distance.

Usage: pyfai_calibration.py [REPEATS]
"""
import sys
import time

import numpy
import pyFAI.azimuthalIntegrator
import pyFAI.calibrant
import pyFAI.detectors
import pyFAI.goniometer

SIDE, PIXEL = 2048, 1e-4
XO, YO, DISTANCE, TILT = 700.0, 1024.0, 0.200, 10.0   # the program's terms (Xo, Yo from 1, metres, degrees)


def integrator(xo, yo, distance):
    return pyFAI.azimuthalIntegrator.AzimuthalIntegrator(
        dist=distance, poni1=(yo - 0.5) * PIXEL, poni2=(xo - 0.5) * PIXEL, rot1=numpy.radians(-TILT),
        pixel1=PIXEL, pixel2=PIXEL, wavelength=0.7093e-10)


def main():
    repeats = int(sys.argv[1]) if len(sys.argv) > 1 else 3
    calibrant = pyFAI.calibrant.get_calibrant("LaB6")
    calibrant.wavelength = 0.7093e-10
    detector = pyFAI.detectors.Detector(PIXEL, PIXEL, max_shape=(SIDE, SIDE))
    truth = integrator(XO, YO, DISTANCE)
    truth.detector = detector
    rings = calibrant.fake_calibration_image(truth, shape=(SIDE, SIDE), Imax=2000, W=3e-7)
    image = numpy.random.default_rng(3).poisson(rings + 50).astype(numpy.int32)

    times = []
    for _ in range(repeats):
        start = integrator(XO + 5, YO - 5, DISTANCE * 1.03)
        start.detector = detector
        t0 = time.perf_counter()
        single = pyFAI.goniometer.SingleGeometry("frame", image=image, calibrant=calibrant, detector=detector,
                                                 geometry=start)
        single.extract_cp(max_rings=10, pts_per_deg=1)
        t1 = time.perf_counter()
        refinement = single.geometry_refinement
        refinement.refine2(fix=["wavelength", "rot2", "rot3"])
        t2 = time.perf_counter()
        times.append((t1 - t0, t2 - t1))
    extract, refine = sorted(times, key=lambda t: t[0] + t[1])[len(times) // 2]
    print("control points %d; extract %.3f s, refine %.3f s, total %.3f s (median of %d)"
          % (len(refinement.data), extract, refine, extract + refine, repeats))
    print("distance %.4f mm (true %.4f), poni1 %.2f px, poni2 %.2f px (true %.2f, %.2f), tilt %.4f deg"
          % (refinement.dist * 1e3, DISTANCE * 1e3, refinement.poni1 / PIXEL + 0.5, refinement.poni2 / PIXEL + 0.5,
             YO, XO, -numpy.degrees(refinement.rot1)))


if __name__ == "__main__":
    main()
