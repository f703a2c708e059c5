#!/usr/bin/python3
"""The reductions of bench/reductions_bench.cpp done with pyFAI on the same
2048 x 2048 frame (tools/make_bench_frames): a 2-theta profile for each of
72 psi rows of 5 degrees (d-spacing against psi) and 360 psi slices of one
degree of the band 2-theta 10..11 (a slice-file line). Integration alone,
after a first call that builds pyFAI's geometry; medians of 9.

Usage: pyfai_reductions.py FRAME_FOLDER [BINS]   (BINS: 2-theta bins, default 1470)
"""
import statistics
import sys
import time

import fabio
import pyFAI.azimuthalIntegrator


def integrator(side):
    pixel = 1e-4
    return pyFAI.azimuthalIntegrator.AzimuthalIntegrator(
        dist=0.150, poni1=(0.5032 * side - 0.5) * pixel, poni2=(0.4933 * side - 0.5) * pixel,
        pixel1=pixel, pixel2=pixel, wavelength=0.7093e-10)


def median_ms(job, runs=9):
    job()
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        job()
        times.append((time.perf_counter() - start) * 1000)
    return statistics.median(times)


def main():
    folder = sys.argv[1]
    bins = int(sys.argv[2]) if len(sys.argv) > 2 else 1470
    data = fabio.open(folder + "/frame2048.tif").data
    ai = integrator(data.shape[0])
    method = ("no", "histogram", "cython")
    rows = median_ms(lambda: ai.integrate2d(data, bins, 72, unit="2th_deg", correctSolidAngle=False,
                                            method=method))
    slices = median_ms(lambda: ai.integrate2d(data, 1, 360, unit="2th_deg", radial_range=(10, 11),
                                              correctSolidAngle=False, method=method))
    print(f"72 psi rows x {bins} 2-theta bins: {rows:.1f} ms")
    print(f"360 psi slices of 2-theta 10..11: {slices:.1f} ms")


if __name__ == "__main__":
    main()
