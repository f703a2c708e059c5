#!/usr/bin/python3
"""The job of the program's automatic centring (bench/centre_bench.cpp) done
with pyFAI on the same frames and from the same starts: the geometry as the
frame was rendered (tests/data/centre/make_frames.py) with the point of
normal incidence moved by a start offset; pyFAI picks control points on the
rings from that start (SingleGeometry.extract_cp, its "massif" peak picking)
and refines only the centre (GeometryRefinement.refine2 of poni1 and poni2,
distance, tilt and wavelength fixed). pyFAI always gives a centre, so every
start ends either within 0.1 pixel ("exact") or elsewhere ("wrong").

Usage: pyfai_centre.py FOLDER [FRAME-PREFIX ...]
  FOLDER  where make_frames.py wrote the frames (its frames.txt, NAME.i32, NAME.json)
"""
import json
import math
import os
import sys
import time

import numpy
import pyFAI.azimuthalIntegrator
import pyFAI.calibrant
import pyFAI.detectors
import pyFAI.goniometer

PERCENTS = (1, 2, 3, 5, 8, 15)


def main():
    folder = sys.argv[1]
    prefixes = sys.argv[2:] or ["dense_mo", "textured", "vtilt_noisy", "htilt_noisy"]
    names = [line.split()[0] for line in open(os.path.join(folder, "frames.txt")) if not line.startswith("#")]
    for prefix in prefixes:
        for name in [n for n in names if n.startswith(prefix)][:1]:
            run(folder, name)


def run(folder, name):
    info = json.load(open(os.path.join(folder, name + ".json")))
    g, p = info["geometry"], info["pyfai_geometry"]
    shape = (g["FrameHeight"], g["FrameWidth"])
    image = numpy.fromfile(os.path.join(folder, name + ".i32"), "<i4").reshape(shape)
    detector = pyFAI.detectors.Detector(p["pixel1"], p["pixel2"], max_shape=shape)
    detector.mask = (image < 0).astype(numpy.int8)
    calibrant = pyFAI.calibrant.get_calibrant(info["synthesis"]["calibrant"])
    calibrant.wavelength = p["wavelength"]
    distance = info["FlatDistancePixels"]
    for percent in PERCENTS:
        reach = percent / 100 * distance
        exact = wrong = 0
        worst = 0.0
        seconds, misses = [], []
        for k in range(8):
            a = math.radians(10 + 45 * k)
            dx, dy = reach * math.cos(a), reach * math.sin(a)
            start = pyFAI.azimuthalIntegrator.AzimuthalIntegrator(
                dist=p["dist"], poni1=p["poni1"] + dy * p["pixel1"], poni2=p["poni2"] + dx * p["pixel2"],
                rot1=p["rot1"], rot2=p["rot2"], rot3=p["rot3"], detector=detector, wavelength=p["wavelength"])
            t0 = time.perf_counter()
            error = float("inf")
            try:
                single = pyFAI.goniometer.SingleGeometry(name, image=numpy.where(image < 0, 0, image).astype(numpy.float32),
                                                         calibrant=calibrant, detector=detector, geometry=start)
                single.extract_cp(max_rings=20, pts_per_deg=1)
                refinement = single.geometry_refinement
                if len(refinement.data) >= 3:
                    refinement.refine2(fix=["dist", "rot1", "rot2", "rot3", "wavelength"])
                    error = math.hypot((refinement.poni1 - p["poni1"]) / p["pixel1"],
                                       (refinement.poni2 - p["poni2"]) / p["pixel2"])
            except Exception:   # a start from which pyFAI finds no points
                pass
            seconds.append(time.perf_counter() - t0)
            if error <= 0.1:
                exact += 1
                worst = max(worst, error)
            else:
                wrong += 1
                misses.append(error)
        median_miss = sorted(misses)[len(misses) // 2] if misses else 0.0
        print("%-18s start %2d %% (%6.1f px): exact %d, wrong %d, worst exact %.4f px, median wrong %.1f px, %.0f ms a start"
              % (name, percent, reach, exact, wrong, worst, median_miss, 1000 * sorted(seconds)[len(seconds) // 2]))
        sys.stdout.flush()


if __name__ == "__main__":
    main()
