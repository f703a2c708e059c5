#!/usr/bin/python3
"""Ten 1024 x 1024 keyword-record frames taken 5 degrees apart (detector
2-theta 10 to 55), written into FOLDER and read back with fabio:
the reading that bounds File > Merge. Then

    ORV_MERGE_FRAMES=FOLDER build/orv_bench --benchmark_filter=Merge

merges the same files in the program.

Usage: merge_read_peer.py FOLDER [RUNS]
"""
import os
import sys
import time

import fabio
import numpy as np


TEMPLATE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "data", "formats",
                        "kw86_b4_128.sfrm")


def record(key, value):
    return (key.ljust(7) + ":" + value).ljust(80)[:80]


def write_frames(folder):
    """The header of a fabio-written test frame with its size, angle, centre
    and distance replaced, then 4-byte pixels (no overflow table)."""
    os.makedirs(folder, exist_ok=True)
    template = open(TEMPLATE, "rb").read()[:7680].decode("latin1")
    rng = np.random.default_rng(3)
    paths = []
    for k in range(10):
        fields = {"NROWS": "%10d" % 1024, "NCOLS": "%10d" % 1024,
                  "ANGLES": "%14.6f%14.6f%14.6f%14.6f" % (10 + 5 * k, 0, 0, 0),
                  "CENTER": "%14.6f%14.6f" % (512, 512), "DISTANC": "%14.6f" % 10.0}
        records = []
        for i in range(96):
            r = template[80 * i:80 * i + 80]
            key = r[:7].strip()
            records.append(record(key, fields[key]) if key in fields else r)
        data = rng.poisson(300, size=(1024, 1024)).astype("<u4")
        path = os.path.join(folder, "frame%d.sfrm" % k)
        with open(path, "wb") as f:
            f.write("".join(records).encode("latin1"))
            f.write(data.tobytes())
        paths.append(path)
    return paths


def main():
    folder = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    paths = write_frames(folder)
    times = []
    for _ in range(runs):
        t0 = time.perf_counter()
        for p in paths:
            fabio.open(p).data.sum()
        times.append(time.perf_counter() - t0)
    print("fabio, ten 1024 x 1024 frames: median %.1f ms of %d" % (1000 * sorted(times)[runs // 2], runs))


if __name__ == "__main__":
    main()
