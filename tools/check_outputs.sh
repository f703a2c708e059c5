#!/bin/bash
# Checks that a build writes every output bit for bit as another does.
#
#   tools/check_outputs.sh BASE [BUILD_DIR]
#
# BASE is a build folder of the program to compare with, or a commit: its
# tree is then exported and built once into /tmp/orv-base-COMMIT, with this
# tree's tools/output_hashes.cpp (so that both builds hash the same runs).
# BUILD_DIR defaults to build/.
#
# Compared: the hashes of tools/output_hashes (every file written by batch
# runs and per-frame scripts on five detector set-ups, and the state they
# end with; every format fixture through the load chain), then the whole
# command-line runs of bench/whole_process.sh (one frame, and lists of 50
# TIFF and own-format frames), whose ".xy" files are hashed.
# Prints the differences and ends with status 1 when there are any.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
base=${1:?usage: tools/check_outputs.sh BASE [BUILD_DIR]}
build=$(cd "${2:-$here/build}" && pwd)
work=${ORV_CHECK_FOLDER:-/tmp/orv-check-outputs}
jobs=${JOBS:-3}

if [ ! -d "$base" ]; then
    commit=$(git -C "$here" rev-parse --short "$base")
    base=/tmp/orv-base-$commit
    if [ ! -d "$base/src" ]; then
        mkdir -p "$base/src"
        git -C "$here" archive "$commit" | tar -x -C "$base/src"
        grep -q output_hashes "$base/src/CMakeLists.txt" ||
            printf 'add_executable(output_hashes tools/output_hashes.cpp)\ntarget_link_libraries(output_hashes PRIVATE orv_core)\n' \
                >> "$base/src/CMakeLists.txt"
    fi
    cmp -s "$here/tools/output_hashes.cpp" "$base/src/tools/output_hashes.cpp" ||
        cp "$here/tools/output_hashes.cpp" "$base/src/tools/output_hashes.cpp"
    [ -f "$base/build/build.ninja" ] ||
        cmake -S "$base/src" -B "$base/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
              -DORV_BUILD_TESTS=OFF -DORV_BUILD_BENCH=OFF >/dev/null
    cmake --build "$base/build" -j "$jobs" --target orvantide output_hashes make_bench_frames >/dev/null
    base=$base/build
fi
base=$(cd "$base" && pwd)

status=0
mkdir -p "$work"
"$base/output_hashes" "$work/run" "$here/tests/data/formats" > "$work/base.txt"
"$build/output_hashes" "$work/run" "$here/tests/data/formats" > "$work/now.txt"
echo "output_hashes: $(wc -l < "$work/now.txt") hashes"
if ! diff "$work/base.txt" "$work/now.txt"; then status=1; fi

# Whole command-line runs on the benchmark frames, each program in turn.
frames=$work/frames
[ -f "$frames/run50_orv.lst" ] || "$build/make_bench_frames" "$frames" >/dev/null
export QT_QPA_PLATFORM=offscreen
whole_runs() {
    local program=$1 out=$2
    find "$frames" -name '*.xy' -delete
    (cd "$frames" && ORVANTIDE_HOME="$frames/home2048" "$program" frame2048.tif scan.txt >/dev/null 2>&1) || true
    (cd "$frames" && ORVANTIDE_HOME="$frames/home2048" "$program" frame2048.orv scan.txt >/dev/null 2>&1) || true
    (cd "$frames" && ORVANTIDE_HOME="$frames/home1024" "$program" run50.lst >/dev/null 2>&1) || true
    (cd "$frames" && ORVANTIDE_HOME="$frames/home1024" "$program" run50_orv.lst >/dev/null 2>&1) || true
    (cd "$frames" && find . -name '*.xy' | sort | xargs sha256sum) > "$out"
}
whole_runs "$base/orvantide" "$work/base_whole.txt"
whole_runs "$build/orvantide" "$work/now_whole.txt"
echo "whole runs: $(wc -l < "$work/now_whole.txt") scan files"
if ! diff "$work/base_whole.txt" "$work/now_whole.txt"; then status=1; fi

[ $status = 0 ] && echo "every output is the same"
exit $status
