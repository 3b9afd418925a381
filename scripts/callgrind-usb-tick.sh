#!/usr/bin/env bash
# Instructions of one tick of the USB bridge link's Timer1 (user space; the two system calls of
# a read are the kernel's), counted by callgrind inside runTicks: a silent meter's tick, and a
# tick that takes a byte (the frame's decode and flush spread over its 13 ticks).
# Usage: scripts/callgrind-usb-tick.sh [build-folder]
set -euo pipefail
build=${1:-build}
tool="$build/bench/count_usb_ticks"
n=10000
[ -x "$tool" ] || { echo "build $tool first (cmake --build $build --target count_usb_ticks)" >&2; exit 2; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

count() {
  valgrind --tool=callgrind --toggle-collect='runTicks*' \
           --callgrind-out-file="$out/cg.$1.$2" "$tool" "$1" "$2" > /dev/null 2> "$out/log"
  awk '/^(summary|totals):/ { print $2; exit }' "$out/cg.$1.$2"
}

idle=$(count idle $n)
frames=$(count frames $((n / 13)))
awk -v i="$idle" -v n="$n" 'BEGIN { printf "silent tick:        %.1f instructions\n", i / n }'
awk -v f="$frames" -v n="$((n / 13 * 13))" \
    'BEGIN { printf "tick with a byte:   %.1f instructions (frame of 13 ticks: %.0f)\n", f / n, f / n * 13 }'
