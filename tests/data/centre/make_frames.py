#!/usr/bin/python3
"""Ring frames rendered by pyFAI 0.21.3 from a known geometry, for the centre
search and the line-scan calibrations. Nothing here uses the program's own
geometry: the 2-theta and chi of every pixel come from pyFAI's
AzimuthalIntegrator, with the convention mapping of tests/data/geometry/README.md
(pixel size p = DSize / FrameSize mm; poni2 = (Xo - 0.5) p, poni1 = (Yo - 0.5) p;
rot1 = -TwoThetaD for a horizontal tilt, rot2 = +TwoThetaD for a vertical one;
psi = -chi mod 360).

Each frame NAME is written as NAME.i32 (raw little-endian int32, FrameHeight
rows of FrameWidth values, -1 for masked pixels), NAME.json (the geometry in
the program's terms and pyFAI's, and how the frame was made) and
NAME.rings.txt (each ring's d-spacing, 2-theta and height); frames.txt lists
every frame's geometry, one line each.

Usage: make_frames.py OUTDIR [small|bench]
  small  the frames the tests use (the default; committed beside this script)
  bench  the larger frames of bench/centre_bench.cpp
"""
import json
import os
import sys

import numpy
import pyFAI
import pyFAI.azimuthalIntegrator
import pyFAI.calibrant


def integrator(g):
    p = g["DSize"] / max(g["FrameWidth"], g["FrameHeight"]) / 1000.0
    rot1 = rot2 = 0.0
    if g["Vertical"]:
        rot2 = numpy.radians(g["TwoThetaD"])
    else:
        rot1 = -numpy.radians(g["TwoThetaD"])
    return pyFAI.azimuthalIntegrator.AzimuthalIntegrator(
        dist=g["Distance"] / 1000.0, poni1=(g["Yo"] - 0.5) * p, poni2=(g["Xo"] - 0.5) * p, rot1=rot1, rot2=rot2,
        pixel1=p, pixel2=p, wavelength=g["Landa"] * 1e-10), p


def render(outdir, name, g, s):
    ai, p = integrator(g)
    shape = (g["FrameHeight"], g["FrameWidth"])
    tth = numpy.degrees(ai.twoThetaArray(shape))
    psi = numpy.mod(-numpy.degrees(ai.chiArray(shape)), 360.0)
    d = pyFAI.calibrant.get_calibrant(s["calibrant"]).get_dSpacing()
    rng = numpy.random.default_rng(s["seed"])
    b0, b1, b2 = s["background"]
    model = b0 + b1 * numpy.exp(-tth / b2)
    peaks = []
    for k, dk in enumerate(d):
        x = g["Landa"] / (2 * dk)
        if x >= 1:
            continue
        t = numpy.degrees(2 * numpy.arcsin(x))
        if t > tth.max() + 1:
            break
        height = s["height"] * (0.35 + 0.65 * rng.random())
        ring = height * numpy.exp(-0.5 * ((tth - t) / s["sigma"]) ** 2)
        if s.get("texture"):
            # Two arcs of each ring, at a phase of its own; elsewhere the
            # ring keeps a few per cent of its height.
            phase = rng.random() * 180.0
            a = numpy.abs(numpy.mod(psi - phase + 90.0, 180.0) - 90.0)
            ring *= s["texture"]["floor"] + (1 - s["texture"]["floor"]) * numpy.exp(-0.5 * (a / s["texture"]["width"]) ** 2)
        model += ring
        peaks.append([t, height])
    if s["noise"]:
        counts = rng.poisson(model).astype(numpy.int32)
    else:
        counts = numpy.rint(model).astype(numpy.int32)
    masked = numpy.zeros(shape, bool)
    stop = s.get("beamstop")
    if stop:
        # A strip from the direct beam to the right edge and a disc on the beam.
        rows = numpy.arange(1, shape[0] + 1)[:, None]
        cols = numpy.arange(1, shape[1] + 1)[None, :]
        bx, by = g["BeamX"], g["BeamY"]
        masked |= (numpy.abs(rows - by) <= stop["half_width"]) & (cols >= bx)
        masked |= (rows - by) ** 2 + (cols - bx) ** 2 <= stop["radius"] ** 2
    counts[masked] = -1
    counts.astype("<i4").tofile(os.path.join(outdir, name + ".i32"))
    info = {
        "fixture": name,
        "raw": {"file": name + ".i32", "dtype": "int32 little-endian", "shape_rows_cols": list(shape),
                "masked_value": -1},
        "geometry": {k: g[k] for k in ("FrameWidth", "FrameHeight", "Landa", "Distance", "DSize", "Xo", "Yo",
                                       "TwoThetaD", "Vertical")},
        "FlatDistancePixels": g["Distance"] / (p * 1000.0),
        "pyfai_geometry": {"dist": ai.dist, "poni1": ai.poni1, "poni2": ai.poni2, "rot1": ai.rot1, "rot2": ai.rot2,
                           "rot3": ai.rot3, "pixel1": p, "pixel2": p, "wavelength": ai.wavelength},
        "pyfai_version": pyFAI.version,
        "synthesis": dict(s, tool="pyFAI twoThetaArray / chiArray at pixel centres",
                          rings_2theta_height=peaks, masked_pixel_count=int(masked.sum())),
    }
    with open(os.path.join(outdir, name + ".json"), "w") as f:
        json.dump(info, f, indent=1)
    with open(os.path.join(outdir, name + ".rings.txt"), "w") as f:
        f.write("# d (angstrom), 2-theta (degrees), height: the rings of the frame\n")
        for t, h in peaks:
            f.write("%.8f %.8f %.3f\n" % (g["Landa"] / (2 * numpy.sin(numpy.radians(t) / 2)), t, h))
    return info


def frame(width, height, landa, distance, dsize, xo, yo, tilt=0.0, vertical=False):
    g = {"FrameWidth": width, "FrameHeight": height, "Landa": landa, "Distance": distance, "DSize": dsize,
         "Xo": xo, "Yo": yo, "TwoThetaD": tilt, "Vertical": vertical}
    # Where the direct beam meets the detector (the foot of the perpendicular
    # is Xo, Yo; with a tilt the beam lies D tan(tilt) from it).
    dpix = distance * max(width, height) / dsize
    g["BeamX"] = xo + (0 if vertical else dpix * numpy.tan(numpy.radians(tilt)))
    g["BeamY"] = yo + (dpix * numpy.tan(numpy.radians(tilt)) if vertical else 0)
    return g


def synthesis(calibrant, sigma, height, seed, noise=True, texture=None, beamstop=None, background=(20.0, 60.0, 8.0)):
    return {"calibrant": calibrant, "sigma": sigma, "height": height, "seed": seed, "noise": noise,
            "texture": texture, "beamstop": beamstop, "background": list(background)}


ARCS = {"floor": 0.03, "width": 18.0}
STOP = {"half_width": 3, "radius": 6}


def small_frames():
    return {
        # Mo radiation, 25 mm: LaB6 rings every few pixels out to the corners.
        "dense_mo_256": (frame(256, 256, 0.7093, 25.0, 25.6, 121.3, 133.7),
                         synthesis("LaB6", 0.06, 900.0, 11, beamstop=STOP)),
        # Cu radiation, CeO2 rings as arcs, counting noise and a beam stop.
        "textured_256": (frame(256, 256, 1.5406, 16.0, 25.6, 140.2, 118.9),
                         synthesis("CeO2", 0.07, 1500.0, 12, texture=ARCS, beamstop=STOP)),
        # Swung 14 degrees in the rows' plane, weak rings in counting noise.
        "vtilt_noisy_256": (frame(256, 256, 0.7093, 40.0, 25.6, 128.6, 110.2, tilt=14.0, vertical=True),
                            synthesis("Si", 0.07, 120.0, 13, beamstop=STOP, background=(8.0, 20.0, 8.0))),
        # Line scans: a strip 11 rows (or columns) wide through the centre,
        # flat and swung either way, without noise.
        "line_flat_1024x11": (frame(1024, 11, 0.7093, 100.0, 102.4, 100.3, 6.4),
                              synthesis("Si", 0.1, 1000.0, 14, noise=False)),
        "line_htilt_1024x11": (frame(1024, 11, 0.7093, 100.0, 102.4, 150.7, 5.8, tilt=-20.0),
                               synthesis("Si", 0.1, 1000.0, 15, noise=False)),
        "line_column_11x1024": (frame(11, 1024, 1.5406, 70.0, 102.4, 5.6, 80.35, tilt=8.0, vertical=True),
                                synthesis("LaB6", 0.1, 1000.0, 16, noise=False)),
    }


def bench_frames():
    return {
        "dense_mo_1024": (frame(1024, 1024, 0.7093, 60.0, 102.4, 498.3, 530.6),
                          synthesis("LaB6", 0.05, 900.0, 21, beamstop={"half_width": 6, "radius": 12})),
        "textured_1024": (frame(1024, 1024, 1.5406, 100.0, 102.4, 540.2, 488.7),
                          synthesis("CeO2", 0.05, 1500.0, 22, texture=ARCS,
                                    beamstop={"half_width": 6, "radius": 12})),
        "htilt_noisy_1024": (frame(1024, 1024, 0.7093, 90.0, 102.4, 412.4, 515.1, tilt=-12.0),
                             synthesis("Si", 0.05, 150.0, 23, beamstop={"half_width": 6, "radius": 12},
                                       background=(8.0, 20.0, 8.0))),
        "line_flat_2048x41": (frame(2048, 41, 0.7093, 150.0, 204.8, 300.6, 21.3),
                              synthesis("Si", 0.06, 1000.0, 24, noise=False)),
        "line_htilt_2048x41": (frame(2048, 41, 0.7093, 150.0, 204.8, 250.2, 20.7, tilt=-25.0),
                               synthesis("LaB6", 0.06, 1000.0, 25, noise=False)),
        "line_vtilt_41x2048": (frame(41, 2048, 1.5406, 120.0, 204.8, 20.6, 310.45, tilt=10.0, vertical=True),
                               synthesis("LaB6", 0.06, 1000.0, 26, noise=False)),
        "line_flat_noisy_2048x41": (frame(2048, 41, 0.7093, 150.0, 204.8, 300.6, 21.3),
                                    synthesis("Si", 0.06, 1000.0, 27)),
    }


def main():
    outdir = sys.argv[1]
    which = sys.argv[2] if len(sys.argv) > 2 else "small"
    os.makedirs(outdir, exist_ok=True)
    frames = small_frames() if which == "small" else bench_frames()
    # frames.txt: one line per frame for the C++ side, which reads no JSON.
    table = ["# name width height landa distance dsize xo yo twothetad vertical"]
    for name, (g, s) in frames.items():
        info = render(outdir, name, g, s)
        print(name, len(info["synthesis"]["rings_2theta_height"]), "rings,",
              info["synthesis"]["masked_pixel_count"], "masked")
        table.append(" ".join([name] + [repr(g[k]) for k in ("FrameWidth", "FrameHeight", "Landa", "Distance", "DSize",
                                                                "Xo", "Yo", "TwoThetaD")] + [str(int(g["Vertical"]))]))
    with open(os.path.join(outdir, "frames.txt"), "w") as f:
        f.write("\n".join(table) + "\n")


if __name__ == "__main__":
    main()
