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
    echo "fuzzing $name for $seconds s"
    if ! "$target" -max_total_time="$seconds" -rss_limit_mb=4096 -timeout=30 \
            -artifact_prefix="$build/$name-" "$corpus" > "$build/$name.log" 2>&1; then
        tail -n 60 "$build/$name.log"
        echo "$name found a failure; the input is in $build/$name-*"
        exit 1
    fi
    grep -E "^#[0-9]+.*DONE" "$build/$name.log" || tail -n 2 "$build/$name.log"
done
[ "$found" = 1 ] || { echo "no fuzz targets in $build"; exit 1; }
