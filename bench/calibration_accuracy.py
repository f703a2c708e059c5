#!/usr/bin/python3
"""How exactly the program's geometry fit (FITTOSTD) and pyFAI's refinement
(SingleGeometry.extract_cp + GeometryRefinement.refine2) recover the geometry
of the same frames, from the same start, in the same run.

Frames: the accuracy frames of tests/data/calibration (rendered by pyFAI:
flat, tilted 25 degrees, centre near a corner; without noise and with
counting noise), the two horizontal-geometry frames of tests/data/geometry
(pyFAI, counting noise) and, with --large, 1024 x 1024 versions of the three
accuracy frames rendered here (tools/render_calibration_frames.py, the same
angles on 2.56 times as many pixels a side).

Start: the true geometry with the distance 3 per cent too long, the centre
5 pixels off in both directions and the angle 0.3 degree off. Both programs
vary the distance, the centre (for pyFAI the point of normal incidence) and
the detector angle (rot1), and both run two rounds (points, fit, points from
the fitted geometry, fit again):

- the program: `orvantide START.orv fit.txt` with the script
  `FITTOSTD <formula> 1 1 1 1 0 0 0 1 1 2 1`, `SAVESETF fitted.set`, the
  fitted geometry read back from fitted.set (3 decimals, as the boxes hold
  it); the time is that of the whole run, start-up included;
- pyFAI 0.21.3: extract_cp(pts_per_deg=1) on every ring, then
  refine2(fix=["wavelength", "rot2", "rot3"]), twice; the calibrant's lines
  come from pyFAI's Cell with the certified lattice constants (the lines the
  program's database holds); the time is that of the two rounds.

Usage: calibration_accuracy.py [BUILD_DIR] [--large]
"""
import json
import math
import os
import shutil
import subprocess
import sys
import tempfile
import time

import numpy
import pyFAI.azimuthalIntegrator
import pyFAI.calibrant
import pyFAI.detectors
import pyFAI.goniometer

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tools"))
import render_calibration_frames as render  # noqa: E402

FORMULA = {"Si": "Si", "LaB6": "LaB6", "CeO2": "CeO2"}
ROUNDS = int(os.environ.get("PYFAI_ROUNDS", "2"))


def read_orv(path):
    """(image, geometry) of a frame of the program's own layout."""
    data = open(path, "rb").read()
    head = numpy.frombuffer(data[:36], "<i4")
    width, height = int(head[5]), int(head[6])
    geometry = {"Landa": head[1] / 1e4, "TwoThetaD": head[2] / 1e4, "Distance": head[3] / 1e4,
                "DSize": head[4] / 1e4, "Xo": head[7] / 1e4, "Yo": head[8] / 1e4}
    image = numpy.frombuffer(data[36:], "<i4").reshape(height, width)
    return image, geometry


def moved(g):
    s = dict(g)
    s["Distance"] = g["Distance"] * 1.03
    s["Xo"] = g["Xo"] + 5
    s["Yo"] = g["Yo"] - 5
    s["TwoThetaD"] = g["TwoThetaD"] + 0.3
    return s


def errors(fitted, truth):
    return ((fitted["Distance"] / truth["Distance"] - 1) * 100, fitted["Xo"] - truth["Xo"],
            fitted["Yo"] - truth["Yo"], fitted["TwoThetaD"] - truth["TwoThetaD"])


def run_program(program, image, truth, standard, folder):
    start = moved(truth)
    with open(os.path.join(folder, "start.orv"), "wb") as out:
        out.write(render.orv_bytes(image, start, truth["DSize"]))
    with open(os.path.join(folder, "fit.txt"), "w", newline="\r\n") as out:
        out.write("FITTOSTD %-8s 1 1 1 1 0 0 0 1 1 2 1\nSAVESETF fitted.set\nENDAPPLI\n" % FORMULA[standard])
    fitted = os.path.join(folder, "fitted.set")
    if os.path.exists(fitted):
        os.remove(fitted)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", ORVANTIDE_HOME=os.path.join(folder, "home"))
    t0 = time.perf_counter()
    run = subprocess.run([program, "start.orv", "fit.txt"], cwd=folder, env=env, capture_output=True, text=True)
    seconds = time.perf_counter() - t0
    if run.returncode != 0 or not os.path.exists(fitted):
        return None, seconds, run.stderr.strip().splitlines()[:1]
    lines = open(fitted).read().splitlines()
    result = {"Xo": float(lines[0]), "Yo": float(lines[1]), "TwoThetaD": float(lines[3]),
              "Distance": float(lines[5])}
    return result, seconds, []


def calibrant_of(standard, landa):
    make_cell, lines = render.STANDARDS[standard]
    cell = make_cell()
    spacings = sorted({round(cell.d(hkl), 10) for hkl, _ in lines}, reverse=True)
    cal = pyFAI.calibrant.Calibrant(dSpacing=list(spacings), wavelength=landa * 1e-10)
    return cal


def run_pyfai(image, truth, standard, frame_size, rounds=2):
    pixel = truth["DSize"] / frame_size / 1000
    start = moved(truth)
    height, width = image.shape
    detector = pyFAI.detectors.Detector(pixel, pixel, max_shape=(height, width))
    calibrant = calibrant_of(standard, truth["Landa"])
    geometry = pyFAI.azimuthalIntegrator.AzimuthalIntegrator(
        dist=start["Distance"] / 1000, poni1=(start["Yo"] - 0.5) * pixel, poni2=(start["Xo"] - 0.5) * pixel,
        rot1=-math.radians(start["TwoThetaD"]), pixel1=pixel, pixel2=pixel, wavelength=truth["Landa"] * 1e-10)
    geometry.detector = detector
    t0 = time.perf_counter()
    points = 0
    for _ in range(rounds):
        single = pyFAI.goniometer.SingleGeometry("frame", image=image.astype(numpy.float32), calibrant=calibrant,
                                                 detector=detector, geometry=geometry)
        single.extract_cp(pts_per_deg=1)
        refinement = single.geometry_refinement
        points = len(refinement.data)
        refinement.refine2(fix=["wavelength", "rot2", "rot3"])
        geometry = pyFAI.azimuthalIntegrator.AzimuthalIntegrator(
            dist=refinement.dist, poni1=refinement.poni1, poni2=refinement.poni2, rot1=refinement.rot1,
            rot2=refinement.rot2, rot3=refinement.rot3, pixel1=pixel, pixel2=pixel, wavelength=truth["Landa"] * 1e-10)
        geometry.detector = detector
    seconds = time.perf_counter() - t0
    result = {"Distance": geometry.dist * 1000, "Xo": geometry.poni2 / pixel + 0.5, "Yo": geometry.poni1 / pixel + 0.5,
              "TwoThetaD": -math.degrees(geometry.rot1)}
    return result, seconds, points


def frames(large, folder):
    """(name, image, truth, standard) of every frame measured."""
    data = os.path.join(ROOT, "tests", "data")
    for name in ("flat_si", "tilt25_lab6", "offcentre_ceo2"):
        for suffix in ("", "_noise"):
            image, truth = read_orv(os.path.join(data, "calibration", name + suffix + ".orv"))
            meta = json.load(open(os.path.join(data, "calibration", name + suffix + ".json")))
            yield name + suffix, image, truth, meta["standard"]
    for name, standard in (("flat384x256_offcentre", "Si"), ("flat256x384_htilt-18", "CeO2")):
        image, truth = read_orv(os.path.join(data, "geometry", name + ".orv"))
        yield name, image, truth, standard
    if large:
        scale = 1024 / 400
        for n, (name, f) in enumerate(render.FRAMES.items()):
            big = dict(f, width=1024, height=int(round(f["height"] * scale)), Distance=f["Distance"] * scale,
                       Xo=round((f["Xo"] - 0.5) * scale + 0.5, 4), Yo=round((f["Yo"] - 0.5) * scale + 0.5, 4))
            if big["TwoThetaD"]:
                beam = (f["Xo"] + f["Distance"] * 10 * math.tan(math.radians(f["TwoThetaD"])) - 0.5) * scale + 0.5
                big["Xo"] = round(beam - big["Distance"] * 10 * math.tan(math.radians(f["TwoThetaD"])), 4)
            for counting in (False, True):
                image, meta = render.render(big, counting, seed=200 + n)
                truth = dict(meta["geometry"], DSize=meta["DSize"])
                yield name + "_1024" + ("_noise" if counting else ""), image, truth, f["standard"]


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    build = os.path.abspath(args[0] if args else os.path.join(ROOT, "build"))
    program = os.path.join(build, "orvantide")
    folder = tempfile.mkdtemp(prefix="orv-calibration-accuracy-")
    try:
        print("machine: %d cores, load average %s" % (os.cpu_count(), " ".join(open("/proc/loadavg").read().split()[:3])))
        print("%-28s | %-44s | %-44s" % ("frame", "program: distance %, Xo, Yo px, angle deg, s",
                                          "pyFAI: distance %, Xo, Yo px, angle deg, s"))
        for name, image, truth, standard in frames("--large" in sys.argv, folder):
            mine, mine_s, problem = run_program(program, image, truth, standard, folder)
            theirs, theirs_s, points = run_pyfai(image, truth, standard, max(image.shape), ROUNDS)
            cell = lambda e, s: "%+8.5f %+7.4f %+7.4f %+8.5f %5.2f" % (e + (s,))
            a = cell(errors(mine, truth), mine_s) if mine else "failed: %s" % " ".join(problem)
            b = cell(errors(theirs, truth), theirs_s)
            print("%-28s | %-44s | %-44s (%d points)" % (name, a, b, points))
            sys.stdout.flush()
    finally:
        shutil.rmtree(folder)


if __name__ == "__main__":
    main()
