#!/usr/bin/python3
"""The job of `orvantide FRAME SCRIPT` with fabio and pyFAI, for timing it
beside the program (bench/whole_process.sh): read one frame, integrate the
sector 2-theta 5..40, psi 20..110 into a 2-theta scan and save it as ".xy".

Geometry of the benchmark frames (tools/make_bench_frames.cpp): flat,
untilted, 0.1 mm pixels, 150 mm from the sample, beam centre at column
0.4933 x side, row 0.5032 x side (counted from 1), Mo K-alpha 1.

Usage: pyfai_one_frame.py FRAME [METHOD]   (FRAME: a TIFF or an ".orv")   (METHOD: histogram or csr)
"""
import sys

import fabio
import numpy
import pyFAI.azimuthalIntegrator


def read_frame(path):
    """The frame's pixels: fabio for detector formats; the program's own
    ".orv" layout (nine 32-bit integers, then rows of 32-bit pixels), which
    fabio does not know, straight into numpy."""
    if path.endswith(".orv"):
        with open(path, "rb") as f:
            header = numpy.frombuffer(f.read(36), dtype="<i4")
            return numpy.frombuffer(f.read(), dtype="<i4").reshape(header[6], header[5])
    return fabio.open(path).data


def integrator(side):
    pixel = 1e-4
    return pyFAI.azimuthalIntegrator.AzimuthalIntegrator(
        dist=0.150, poni1=(0.5032 * side - 0.5) * pixel, poni2=(0.4933 * side - 0.5) * pixel,
        pixel1=pixel, pixel2=pixel, wavelength=0.7093e-10)


def main():
    path = sys.argv[1]
    method = ("no", sys.argv[2] if len(sys.argv) > 2 else "histogram", "cython")
    data = read_frame(path)
    ai = integrator(data.shape[0])
    # psi 20..110 (counted up from the right) is chi -110..-20 in pyFAI's
    # frame, whose second axis runs down the rows.
    ai.integrate1d(data, 1470, unit="2th_deg", azimuth_range=(-110, -20), correctSolidAngle=False,
                   method=method, filename=path + ".pyfai.xy")


if __name__ == "__main__":
    main()
