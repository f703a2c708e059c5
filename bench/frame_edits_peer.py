#!/usr/bin/python3
"""Two frame edits done with fabio, numpy and scipy, for timing them beside
the program's (bench/frame_edits_bench.cpp, FrameMathTiff and SmoothTiff):

- subtract: read a frame file with fabio and subtract it from the frame in
  memory, in 64 bits, clipped back into 32-bit integers;
- smooth: the 21 x 21 Gaussian window of the program's smoothing (width 20,
  weights exp(-(dx^2 + dy^2) / 100)) as two separable passes of
  scipy.ndimage.correlate1d over the values and over the unmasked pixels,
  then the rounded quotient (masked pixels, -1, left out and kept).

Usage: frame_edits_peer.py FRAME.tif   (prints the median of 9 runs, in ms)
"""
import sys
import time

import fabio
import numpy as np
from scipy import ndimage


def median_ms(job, runs=9):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        job()
        times.append((time.perf_counter() - start) * 1000)
    return sorted(times)[len(times) // 2]


def main():
    path = sys.argv[1]
    frame = fabio.open(path).data.astype(np.int32)

    def subtract():
        other = fabio.open(path).data
        return np.clip(frame.astype(np.int64) - other, -2**31, 2**31 - 1).astype(np.int32)

    d = np.arange(-10, 11, dtype=np.float64)
    g = np.exp(-d * d / 100.0)

    def smooth():
        masked = frame == -1
        num = np.where(masked, 0, frame).astype(np.float64)
        den = (~masked).astype(np.float64)
        for axis in (0, 1):
            num = ndimage.correlate1d(num, g, axis=axis, mode="constant")
            den = ndimage.correlate1d(den, g, axis=axis, mode="constant")
        return np.where(masked, -1, np.rint(num / den)).astype(np.int32)

    print(f"{frame.shape[1]} x {frame.shape[0]}: fabio read + subtract {median_ms(subtract):.1f} ms, "
          f"smooth 21 x 21 {median_ms(smooth):.1f} ms")


if __name__ == "__main__":
    main()
