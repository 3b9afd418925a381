#!/usr/bin/env bash
# Instructions per frame of the reading pipeline (assembly + decoding + recording, no window),
# counted by callgrind inside runPipeline for an empty run and for 100000 frames.
# Usage: scripts/callgrind-pipeline.sh [build-folder]
set -euo pipefail
build=${1:-build}
tool="$build/bench/count_pipeline"
frames=100000
[ -x "$tool" ] || { echo "build $tool first (cmake --build $build --target count_pipeline)" >&2; exit 2; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

count() {
  valgrind --tool=callgrind --toggle-collect='*runPipeline*' \
           --callgrind-out-file="$out/cg.$1" "$tool" "$1" > /dev/null 2> "$out/log.$1"
  # "summary:" (older callgrind) or "totals:" holds the instruction count of the collected part
  awk '/^(summary|totals):/ { print $2; exit }' "$out/cg.$1"
}

empty=$(count 0)
full=$(count $frames)
echo "empty run:    $empty instructions"
echo "$frames frames: $full instructions"
awk -v a="$empty" -v b="$full" -v n="$frames" \
    'BEGIN { printf "per frame:    %.1f instructions\n", (b - a) / n }'
