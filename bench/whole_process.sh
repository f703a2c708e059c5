#!/bin/bash
# Whole-process timings of the command-line runs, beside the same jobs done
# by python scripts with fabio and pyFAI on the same frames and machine.
#
#   bench/whole_process.sh [BUILD_DIR] [FRAME_FOLDER]
#
# Frames, settings, scripts and the lists come from tools/make_bench_frames
# (written once into FRAME_FOLDER, default /tmp/orv_bench_frames): 16-bit
# TIFF and the same frames in the program's own ".orv" layout (python reads
# those with numpy). Needs python3-pyfai and python3-fabio for the python
# side and uses hyperfine when it is installed (RUNS runs, default 10, after
# 2 warm-ups), a plain loop otherwise. With BASE_PROGRAM set (another build's
# orvantide) that program is timed in the same run too, as "before".
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
folder=${2:-/tmp/orv_bench_frames}
program="$build/orvantide"
python=/usr/bin/python3

[ -f "$folder/run1_orv.lst" ] || "$build/make_bench_frames" "$folder"
export QT_QPA_PLATFORM=offscreen
runs=${RUNS:-10}

one_frame() { echo "cd '$folder' && ORVANTIDE_HOME='$folder/home2048' '$1' frame2048.$2 scan.txt"; }
batch() { echo "cd '$folder' && ORVANTIDE_HOME='$folder/home1024' '$1' $2"; }
py_one_frame() { echo "cd '$folder' && $python '$here/pyfai_one_frame.py' frame2048.$1 histogram"; }
py_batch() { echo "cd '$folder' && $python '$here/pyfai_batch.py' $1 histogram"; }

jobs=()
for kind in tif orv; do
    list=run50.lst
    [ $kind = orv ] && list=run50_orv.lst
    [ -n "${BASE_PROGRAM:-}" ] && jobs+=("before, one 2048x2048 frame ($kind)" "$(one_frame "$BASE_PROGRAM" $kind)")
    jobs+=("orvantide, one 2048x2048 frame ($kind)" "$(one_frame "$program" $kind)")
    jobs+=("pyFAI, one 2048x2048 frame ($kind)" "$(py_one_frame $kind)")
    [ -n "${BASE_PROGRAM:-}" ] && jobs+=("before, 50 frames of 1024x1024 ($kind)" "$(batch "$BASE_PROGRAM" $list)")
    jobs+=("orvantide, 50 frames of 1024x1024 ($kind)" "$(batch "$program" $list)")
    jobs+=("pyFAI, 50 frames of 1024x1024 ($kind)" "$(py_batch $list)")
    # A list of the first frame alone: the start and end of a list run.
    [ -n "${BASE_PROGRAM:-}" ] && jobs+=("before, 1 frame of 1024x1024 ($kind)" "$(batch "$BASE_PROGRAM" ${list/50/1})")
    jobs+=("orvantide, 1 frame of 1024x1024 ($kind)" "$(batch "$program" ${list/50/1})")
done
# Start-up: a 256 x 256 frame and a one-line script.
printf 'SETANGRA 5 40 20 110 \r\nENDAPPLI\r\n' > "$folder/one_line.txt"
start() { echo "cd '$folder' && ORVANTIDE_HOME='$folder/home2048' '$1' frame256.tif one_line.txt"; }
[ -n "${BASE_PROGRAM:-}" ] && jobs+=("before, start-up (256x256, one-line script)" "$(start "$BASE_PROGRAM")")
jobs+=("orvantide, start-up (256x256, one-line script)" "$(start "$program")")

echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
if command -v hyperfine >/dev/null; then
    args=()
    for ((n = 0; n < ${#jobs[@]}; n += 2)); do args+=(-n "${jobs[n]}" "${jobs[n + 1]}"); done
    hyperfine --warmup 2 --runs "$runs" --style basic --export-json "${EXPORT_JSON:-/dev/null}" "${args[@]}"
else
    for ((n = 1; n < ${#jobs[@]}; n += 2)); do
        job=${jobs[n]}
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
for p in ${BASE_PROGRAM:-} "$program"; do
    for kind in tif orv; do
        large=$(peak "$(one_frame "$p" $kind)")
        small=$(peak "$(one_frame "$p" tif | sed 's/frame2048.tif/frame256.tif/')")
        echo "peak memory ($p, $kind): 2048x2048 frame ${large} KiB, 256x256 frame ${small} KiB, difference $(( (large - small) / 1024 )) MiB"
    done
done

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
