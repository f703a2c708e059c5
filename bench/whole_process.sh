#!/bin/bash
# Whole-process timings of the command-line runs, beside the same jobs done
# by python scripts with fabio and pyFAI on the same frames and machine.
#
#   bench/whole_process.sh [BUILD_DIR] [FRAME_FOLDER]
#
# Frames, settings, scripts and the list come from tools/make_bench_frames
# (written once into FRAME_FOLDER, default /tmp/orv_bench_frames). Needs
# python3-pyfai and python3-fabio for the python side and uses hyperfine
# when it is installed (10 runs after 2 warm-ups), a plain loop otherwise.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
folder=${2:-/tmp/orv_bench_frames}
program="$build/orvantide"
python=/usr/bin/python3

[ -f "$folder/run50.lst" ] || "$build/make_bench_frames" "$folder"
export QT_QPA_PLATFORM=offscreen

one_frame="cd '$folder' && ORVANTIDE_HOME='$folder/home2048' '$program' frame2048.tif scan.txt"
batch="cd '$folder' && ORVANTIDE_HOME='$folder/home1024' '$program' run50.lst"
py_one_frame="cd '$folder' && $python '$here/pyfai_one_frame.py' frame2048.tif histogram"
py_batch="cd '$folder' && $python '$here/pyfai_batch.py' run50.lst histogram"

echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
if command -v hyperfine >/dev/null; then
    hyperfine --warmup 2 --runs 10 --style basic \
        -n "orvantide, one 2048x2048 frame" "$one_frame" \
        -n "fabio + pyFAI, one 2048x2048 frame" "$py_one_frame" \
        -n "orvantide, 50 frames of 1024x1024" "$batch" \
        -n "fabio + pyFAI, 50 frames of 1024x1024" "$py_batch"
else
    for job in "$one_frame" "$py_one_frame" "$batch" "$py_batch"; do
        best=999
        for run in 1 2 3 4 5; do
            start=$(date +%s.%N)
            bash -c "$job" >/dev/null 2>&1
            t=$(echo "$(date +%s.%N) - $start" | bc)
            best=$(echo "if ($t < $best) $t else $best" | bc)
        done
        echo "best of 5: ${best} s  $job"
    done
fi

# Memory: the largest resident size of a run with the 2048 x 2048 frame
# against a run with a 256 x 256 frame (the program's baseline).
peak() { /usr/bin/time -f %M bash -c "$1" 2>&1 >/dev/null | tail -1; }
large=$(peak "$one_frame")
small=$(peak "${one_frame/frame2048.tif/frame256.tif}")
echo "peak memory: 2048x2048 frame ${large} KiB, 256x256 frame ${small} KiB, difference $(( (large - small) / 1024 )) MiB"

# Reading alone: fabio on the 2048 x 2048 TIFF, the first frame of a process
# and again (median of 20).
$python - "$folder/frame2048.tif" <<'PY'
import statistics, sys, time
t0 = time.perf_counter()
import fabio
path = sys.argv[1]
t1 = time.perf_counter(); fabio.open(path).data.sum(); t2 = time.perf_counter()
again = []
for _ in range(20):
    s = time.perf_counter(); fabio.open(path).data; again.append(time.perf_counter() - s)
print(f"fabio 2048x2048 TIFF: first read {1e3 * (t2 - t1):.2f} ms, again {1e3 * statistics.median(again):.2f} ms")
PY
