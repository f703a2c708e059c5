#!/usr/bin/python3
"""Powder frames of the calibration standards rendered with pyFAI, for the
accuracy tests of the geometry fit (tests/data/calibration) and its bench
(bench/calibration_accuracy.py).

Every pixel's 2-theta comes from pyFAI's AzimuthalIntegrator (twoThetaArray),
never from this program's geometry; the rings' d-spacings come from pyFAI's
Cell with the certified lattice constants, and their heights from the
published relative intensities of the lines. Each ring is a Gaussian in
2-theta evaluated at the pixel centres, over a smooth background. A frame is
written as NAME.orv (the program's own frame layout: nine int32 -- 12345,
Landa, TwoThetaD, Distance, DSize each x 10000, width, height, Xo, Yo each
x 10000 -- then the rows) and NAME.json (the true geometry in the program's
terms and in pyFAI's, and how the frame was made).

Convention mapping (see tests/data/geometry/README.md): pixel size
p = DSize / FrameSize mm; poni1 = (Yo - 0.5) p, poni2 = (Xo - 0.5) p;
rot1 = -TwoThetaD for a horizontal tilt; dist = Distance.

Usage: render_calibration_frames.py [FOLDER]   (default tests/data/calibration)
"""
import json
import os
import sys

import numpy
import pyFAI
import pyFAI.azimuthalIntegrator
import pyFAI.calibrant

MO, CU = 0.7093, 1.5406

# Certified lattice constants (angstrom) and the published lines (hkl,
# relative intensity) of the standards.
STANDARDS = {
    "Si": (lambda: pyFAI.calibrant.Cell.diamond(5.431179),
           [((1, 1, 1), 100), ((2, 2, 0), 55), ((3, 1, 1), 30), ((4, 0, 0), 6), ((3, 3, 1), 11),
            ((4, 2, 2), 12), ((5, 1, 1), 6), ((4, 4, 0), 3), ((5, 3, 1), 7), ((6, 2, 0), 8), ((5, 3, 3), 3)]),
    "LaB6": (lambda: pyFAI.calibrant.Cell.cubic(4.156826, "P"),
             [((1, 0, 0), 60), ((1, 1, 0), 100), ((1, 1, 1), 41), ((2, 0, 0), 23), ((2, 1, 0), 53),
              ((2, 1, 1), 24), ((2, 2, 0), 11), ((3, 0, 0), 31), ((3, 1, 0), 16), ((3, 1, 1), 6)]),
    "CeO2": (lambda: pyFAI.calibrant.Cell.cubic(5.411651, "F"),
             [((1, 1, 1), 100), ((2, 0, 0), 29), ((2, 2, 0), 51), ((3, 1, 1), 44), ((2, 2, 2), 5),
              ((4, 0, 0), 5), ((3, 3, 1), 15), ((4, 2, 0), 8), ((4, 2, 2), 12), ((5, 1, 1), 9)]),
}

# name: frame size, pixel (mm), geometry (program's terms), standard, ring
# sigma (degrees), noise. Noise-free frames carry strong rings so that
# rounding to whole counts does not matter; noisy ones are drawn as counts.
FRAMES = {
    "flat_si": dict(width=400, height=400, pixel=0.1, Landa=MO, Distance=40.0, Xo=200.3, Yo=198.6,
                    TwoThetaD=0.0, standard="Si", sigma=0.1),
    "tilt25_lab6": dict(width=400, height=400, pixel=0.1, Landa=MO, Distance=40.0, Xo=12.1769, Yo=201.2,
                        TwoThetaD=25.0, standard="LaB6", sigma=0.1),
    "offcentre_ceo2": dict(width=400, height=320, pixel=0.1, Landa=MO, Distance=40.0, Xo=70.4, Yo=250.8,
                           TwoThetaD=0.0, standard="CeO2", sigma=0.1),
}
NOISE_FREE = dict(height=10000.0, background=(50.0, 200.0, 8.0))
COUNTING = dict(height=600.0, background=(20.0, 60.0, 8.0))


def integrator(f, shape):
    p = f["pixel"] / 1000
    ai = pyFAI.azimuthalIntegrator.AzimuthalIntegrator(
        dist=f["Distance"] / 1000, poni1=(f["Yo"] - 0.5) * p, poni2=(f["Xo"] - 0.5) * p,
        rot1=-numpy.radians(f["TwoThetaD"]), rot2=0.0, rot3=0.0, pixel1=p, pixel2=p,
        wavelength=f["Landa"] * 1e-10)
    ai.detector.max_shape = shape
    return ai


def ring_lines(standard, landa):
    """(2-theta in degrees, relative intensity) of the published lines."""
    make_cell, lines = STANDARDS[standard]
    cell = make_cell()
    out = []
    for hkl, intensity in lines:
        d = cell.d(hkl)
        s = landa / (2 * d)
        if s < 1:
            out.append((numpy.degrees(2 * numpy.arcsin(s)), intensity))
    return out


def render(f, counting, seed=0):
    """The frame as int32 rows (row j - 1, column i - 1) and its description."""
    shape = (f["height"], f["width"])
    ai = integrator(f, shape)
    tth = numpy.degrees(ai.twoThetaArray(shape))
    style = COUNTING if counting else NOISE_FREE
    b0, b1, b2 = style["background"]
    model = b0 + b1 * numpy.exp(-tth / b2)
    lines = ring_lines(f["standard"], f["Landa"])
    for t, intensity in lines:
        x = (tth - t) / f["sigma"]
        model += style["height"] * intensity / 100 * numpy.exp(-0.5 * x * x)
    if counting:
        image = numpy.random.default_rng(seed).poisson(model)
    else:
        image = numpy.rint(model)
    frame_size = max(shape)
    meta = {
        "geometry": {k: f[k] for k in ("Landa", "Distance", "Xo", "Yo", "TwoThetaD")},
        "FrameWidth": f["width"], "FrameHeight": f["height"], "DSize": f["pixel"] * frame_size,
        "standard": f["standard"], "sigma_deg": f["sigma"],
        "rings_2theta_deg": [t for t, _ in lines],
        "pyfai_geometry": {"dist": ai.dist, "poni1": ai.poni1, "poni2": ai.poni2, "rot1": ai.rot1,
                           "rot2": ai.rot2, "rot3": ai.rot3, "pixel1": ai.pixel1, "pixel2": ai.pixel2,
                           "wavelength": ai.wavelength},
        "model": "background b0 + b1 exp(-2theta/b2) plus Gaussians in 2-theta at the pixel centres",
        "background_b0_b1_b2": list(style["background"]), "ring_height_at_100": style["height"],
        "noise": "Poisson, numpy default_rng(%d)" % seed if counting else "none (rounded to whole counts)",
        "pyfai_version": pyFAI.version, "numpy_version": numpy.__version__,
    }
    return image.astype(numpy.int32), meta


def orv_bytes(image, geometry, dsize):
    """The frame in the program's own layout, the header holding `geometry`."""
    height, width = image.shape
    head = [12345, geometry["Landa"], geometry["TwoThetaD"], geometry["Distance"], dsize]
    header = [int(round(v * 10000)) if k else v for k, v in enumerate(head)]
    header += [width, height, int(round(geometry["Xo"] * 10000)), int(round(geometry["Yo"] * 10000))]
    return numpy.array(header, dtype="<i4").tobytes() + image.astype("<i4").tobytes()


def write_frame(folder, name, image, meta, geometry=None):
    with open(os.path.join(folder, name + ".orv"), "wb") as out:
        out.write(orv_bytes(image, geometry or meta["geometry"], meta["DSize"]))
    with open(os.path.join(folder, name + ".json"), "w") as out:
        json.dump(meta, out, indent=1)
        out.write("\n")


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "tests",
                                                               "data", "calibration")
    os.makedirs(folder, exist_ok=True)
    for n, (name, f) in enumerate(FRAMES.items()):
        for counting in (False, True):
            image, meta = render(f, counting, seed=100 + n)
            write_frame(folder, name + ("_noise" if counting else ""), image, meta)


if __name__ == "__main__":
    main()
