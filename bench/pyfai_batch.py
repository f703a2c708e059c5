#!/usr/bin/python3
"""The job of `orvantide LIST.lst` with fabio and pyFAI, for timing it beside
the program (bench/whole_process.sh): every frame of a list (lines "FILE
path") read and its sector 2-theta 5..40, psi 20..110 integrated and saved
as ".xy", all in one python process with one integrator (the geometry is
the same for every frame).

Usage: pyfai_batch.py LIST [METHOD]   (METHOD: histogram or csr)
"""
import sys

from pyfai_one_frame import integrator, read_frame


def main():
    method = ("no", sys.argv[2] if len(sys.argv) > 2 else "csr", "cython")
    with open(sys.argv[1]) as listing:
        files = [line.split(None, 1)[1].strip() for line in listing if line.startswith("FILE ")]
    ai = None
    for path in files:
        data = read_frame(path)
        if ai is None:
            ai = integrator(data.shape[0])
        ai.integrate1d(data, 1470, unit="2th_deg", azimuth_range=(-110, -20), correctSolidAngle=False,
                       method=method, filename=path + ".pyfai.xy")


if __name__ == "__main__":
    main()
