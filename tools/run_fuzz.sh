#!/bin/sh
# Runs every libFuzzer target of a fuzz build for a bounded time on a seed
# corpus made from the frame-format fixtures and the target's own seeds in
# fuzz/seeds/<target>/. Usage:
#   tools/run_fuzz.sh BUILD_DIR SECONDS
set -e
cd "$(dirname "$0")/.."
build=${1:-build-fuzz}
seconds=${2:-15}
found=0
for target in "$build"/*_fuzz; do
    [ -x "$target" ] || continue
    found=1
    name=$(basename "$target")
    corpus="$build/corpus/$name"
    mkdir -p "$corpus"
    for f in tests/data/formats/* tests/data/formats/made/* tests/data/scans/* tests/data/polefig/* fuzz/seeds/"$name"/*; do
        case "$f" in *.json|*.md) continue ;; esac
        [ -f "$f" ] && cp "$f" "$corpus/"
    done
    # The target's temporary files go to a folder removed however it ends;
    # both it and the findings are named absolutely, as a target may change
    # its current folder.
    scratch="$(cd "$build" && pwd)/scratch/$name"
    rm -rf "$scratch"
    mkdir -p "$scratch"
    echo "fuzzing $name for $seconds s"
    if ! TMPDIR="$scratch" "$target" -max_total_time="$seconds" -rss_limit_mb=4096 -timeout=30 \
            -artifact_prefix="$(cd "$build" && pwd)/$name-" "$corpus" > "$build/$name.log" 2>&1; then
        rm -rf "$scratch"
        tail -n 60 "$build/$name.log"
        echo "$name found a failure; the input is in $build/$name-*"
        exit 1
    fi
    rm -rf "$scratch"
    grep -E "^#[0-9]+.*DONE" "$build/$name.log" || tail -n 2 "$build/$name.log"
done
rmdir "$build/scratch" 2>/dev/null || true
[ "$found" = 1 ] || { echo "no fuzz targets in $build"; exit 1; }
