#!/usr/bin/python3
"""The frame background of the program (the mean of the minima of the four
quadrants of an 11 x 11 window, masked pixels and the frame's outside taking
no part) with scipy's running minima (scipy.ndimage.minimum_filter1d), for
timing it beside `orv_bench --benchmark_filter=WindowMinimumBackground`.
Checked against a pixel-by-pixel reference on a small frame first.

Usage: frame_background_peer.py [SIDE] [RUNS]
"""
import sys
import time

import numpy as np
from scipy.ndimage import minimum_filter1d

H = 5


def trailing(a, length, axis):
    """min of a[k - length + 1 .. k] along `axis`, outside the array +inf."""
    return minimum_filter1d(a, length, axis=axis, mode="constant", cval=np.inf,
                            origin=(length - 1) - length // 2)


def ahead(a, length, axis):
    """min of a[k + 1 .. k + length] along `axis`, outside the array +inf."""
    pad = [(0, 0)] * a.ndim
    pad[axis] = (0, length)
    t = trailing(np.pad(a, pad, constant_values=np.inf), length, axis)
    return np.take(t, np.arange(length, length + a.shape[axis]), axis=axis)


def background(frame):
    """frame[row, column], -1 masked."""
    a = np.where(frame == -1, np.inf, frame.astype(np.float64))
    up = trailing(a, H + 1, 0)                    # rows r-h..r
    down = ahead(a, H, 0)                         # rows r+1..r+h
    quads = [trailing(up, H + 1, 1), trailing(down, H + 1, 1), ahead(up, H, 1), ahead(down, H, 1)]
    held = [np.isfinite(q) for q in quads]
    n = sum(h.astype(np.int64) for h in held)
    s = sum(np.where(h, q, 0) for h, q in zip(held, quads))
    return np.where(n > 0, np.trunc(s / np.maximum(n, 1)), 0).astype(np.int64)


def reference(frame):
    rows, cols = frame.shape
    out = np.zeros_like(frame, dtype=np.int64)
    for r in range(rows):
        for c in range(cols):
            total, n = 0, 0
            for r0, r1 in ((r - H, r), (r + 1, r + H)):
                for c0, c1 in ((c - H, c), (c + 1, c + H)):
                    block = frame[max(r0, 0):min(r1, rows - 1) + 1, max(c0, 0):min(c1, cols - 1) + 1]
                    block = block[block != -1]
                    if block.size:
                        total += int(block.min())
                        n += 1
            out[r, c] = int(total / n) if n else 0
    return out


def main():
    side = int(sys.argv[1]) if len(sys.argv) > 1 else 2048
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    rng = np.random.default_rng(5)
    small = rng.integers(-20, 3000, size=(23, 31))
    small[rng.random(small.shape) < 0.12] = -1
    assert (background(small) == reference(small)).all()
    frame = rng.poisson(300, size=(side, side)).astype(np.int32)
    frame[rng.random(frame.shape) < 0.01] = -1
    times = []
    for _ in range(runs):
        t0 = time.perf_counter()
        background(frame)
        times.append(time.perf_counter() - t0)
    print("scipy quadrant minima, %d x %d: median %.1f ms of %d" % (side, side, 1000 * sorted(times)[runs // 2], runs))


if __name__ == "__main__":
    main()
