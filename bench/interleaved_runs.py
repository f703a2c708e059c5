#!/usr/bin/python3
"""The jobs of bench/whole_process.sh taken in turn, round after round, so
that on a shared machine every job meets the same load; prints the median
wall time of each job over the rounds (and the CPU time of the processes).

Usage: interleaved_runs.py BEFORE_PROGRAM PROGRAM [FRAME_FOLDER] [ROUNDS]
(the folder of tools/make_bench_frames, default /tmp/orv_bench_frames;
ROUNDS default 9). The python jobs need python3-pyfai and python3-fabio.
"""
import os
import resource
import statistics
import subprocess
import sys
import time

here = os.path.dirname(os.path.abspath(__file__))
before, program = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
folder = sys.argv[3] if len(sys.argv) > 3 else "/tmp/orv_bench_frames"
rounds = int(sys.argv[4]) if len(sys.argv) > 4 else 9

with open(os.path.join(folder, "one_line.txt"), "w", newline="") as f:
    f.write("SETANGRA 5 40 20 110 \r\nENDAPPLI\r\n")


def run(name, home, *args):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", ORVANTIDE_HOME=os.path.join(folder, home))
    return name, [*args], env


jobs = []
for kind in ("tif", "orv"):
    lst = "run50.lst" if kind == "tif" else "run50_orv.lst"
    one = "run1.lst" if kind == "tif" else "run1_orv.lst"
    for label, exe in (("before", before), ("now", program)):
        jobs.append(run(f"{label}, one 2048x2048 frame ({kind})", "home2048", exe, f"frame2048.{kind}", "scan.txt"))
        jobs.append(run(f"{label}, 50 frames of 1024x1024 ({kind})", "home1024", exe, lst))
        jobs.append(run(f"{label}, 1 frame of 1024x1024 ({kind})", "home1024", exe, one))
    py = "/usr/bin/python3"
    jobs.append(run(f"pyFAI, one 2048x2048 frame ({kind})", "home2048", py,
                    os.path.join(here, "pyfai_one_frame.py"), f"frame2048.{kind}", "histogram"))
    jobs.append(run(f"pyFAI, 50 frames of 1024x1024 ({kind})", "home1024", py,
                    os.path.join(here, "pyfai_batch.py"), lst, "histogram"))
for label, exe in (("before", before), ("now", program)):
    jobs.append(run(f"{label}, start-up (256x256, one-line script)", "home2048", exe, "frame256.tif", "one_line.txt"))

wall = {name: [] for name, _, _ in jobs}
cpu = {name: [] for name, _, _ in jobs}
print("load average before:", open("/proc/loadavg").read().split()[:3])
for _ in range(rounds):
    for name, args, env in jobs:
        start = time.perf_counter()
        used = resource.getrusage(resource.RUSAGE_CHILDREN)
        subprocess.run(args, cwd=folder, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wall[name].append(time.perf_counter() - start)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu[name].append(after.ru_utime + after.ru_stime - used.ru_utime - used.ru_stime)
print("load average after:", open("/proc/loadavg").read().split()[:3])
for name, _, _ in jobs:
    print(f"{name:50s} {1e3 * statistics.median(wall[name]):8.1f} ms wall   "
          f"{1e3 * statistics.median(cpu[name]):8.1f} ms cpu   (min {1e3 * min(wall[name]):.1f})")
