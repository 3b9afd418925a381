#!/usr/bin/env bash
# Machine instructions per frame of the window's whole per-frame update (decode, LCD, scale,
# bar graph, indicator, offscreen repaint): callgrind counts a run of N frames and an empty run,
# and the difference is divided by N. Usage: scripts/measure-window-frame.sh [build] [N]
set -euo pipefail
build=${1:-build}
n=${2:-1000}
program="$build/bench/window_frames"
[ -x "$program" ] || { echo "build $program first (cmake --build $build)" >&2; exit 2; }
export QT_QPA_PLATFORM=offscreen
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

count() {
    valgrind --tool=callgrind --callgrind-out-file="$out/$1.out" "$program" "$2" \
        >/dev/null 2>"$out/$1.log"
    awk '/^summary:/ { print $2 }' "$out/$1.out"
}

full=$(count full "$n")
empty=$(count empty 0)
grep -h -m1 '^frames' "$out/full.log" || true
echo "instructions: $full with $n frames, $empty without"
echo "per frame: $(( (full - empty) / n ))"
