#!/usr/bin/python3
"""The job of bench/pole_bench.cpp's PoleSeries72 done with fabio and pyFAI:
the 72 frames of 1024 x 1024 it writes into ORV_POLE_FRAMES, each read and
summed into 360 psi slices of one degree of the band 2-theta 10..20, one
text line of 360 sums per frame. One integrator for the whole series (its
geometry made once, as the program reuses its mapping), without pixel
splitting ("histogram", pyFAI's fastest here; "csr" and "lut" take 1.7 to
1.9 times as long on this job). Medians of 3 runs.

Usage: pole_series_peer.py FRAME_FOLDER
"""
import logging
import os
import statistics
import sys
import tempfile
import time

import fabio
import pyFAI.azimuthalIntegrator

# The frames carry no strip byte counts; fabio says so once a frame.
logging.getLogger("fabio").setLevel(logging.ERROR)

FRAMES = 72
SIDE = 1024
PIXEL = 1e-4   # m; the program's settings: 1024 pixels span 100 mm, 100 mm away


def integrator():
    # The program's beam at pixel 512.5 counted from 1: pyFAI's 512 pixels.
    return pyFAI.azimuthalIntegrator.AzimuthalIntegrator(
        dist=SIDE * PIXEL, poni1=512 * PIXEL, poni2=512 * PIXEL, pixel1=PIXEL, pixel2=PIXEL,
        wavelength=0.709e-10)


def run(folder, ai, out):
    method = ("no", "histogram", "cython")
    with open(out, "w") as f:
        f.write("2Theta integration range =10.000 to 20.000\r\n")
        for m in range(FRAMES):
            name = "pole.%03d" % m
            data = fabio.open(os.path.join(folder, name)).data
            r = ai.integrate2d(data, 1, 360, unit="2th_deg", radial_range=(10, 20), azimuth_range=(-180, 180),
                               correctSolidAngle=False, method=method)
            # Sums, not means: the mean of each slice times its pixel count.
            sums = r.sum_signal.sum(axis=-1).ravel() if getattr(r, "sum_signal", None) is not None else r.intensity.ravel()
            f.write(name + " " + "".join("%10d" % round(v) for v in sums) + "\r\n")


def main():
    folder = sys.argv[1]
    ai = integrator()
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "peer.slc")
        run(folder, ai, out)   # warms pyFAI up and the files into the cache
        times = []
        for _ in range(3):
            start = time.perf_counter()
            run(folder, ai, out)
            times.append(time.perf_counter() - start)
    t = statistics.median(times)
    print(f"72 frames of 1024 x 1024 into 360 psi slices: {t * 1000:.0f} ms, {FRAMES / t:.0f} frames a second")


if __name__ == "__main__":
    main()
