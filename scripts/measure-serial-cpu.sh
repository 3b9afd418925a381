#!/usr/bin/env bash
# Measures the processor time of the serial path over SECONDS (default 30) of wall time, from
# /proc/<pid>/stat (utime + stime), for:
#   idle-log     halvern log on a port with no data arriving
#   busy-log     halvern log fed by the simulator at the line's top rate (82 frames/s)
#   idle-window  the window with "COM Connect" down on a port with no data arriving
#   demo-window  the window with the demo meter (5 frames/s) connected
#   busy-window  the window connected to the simulator at the line's top rate (82 frames/s)
#   slow-window  the window connected to the simulator at 4 frames/s, a real meter's pace
# Usage: scripts/measure-serial-cpu.sh [BUILD] [SECONDS]
set -euo pipefail
build=${1:-build}
seconds=${2:-30}
bin="$build/halvern"
source "$(dirname "$0")/cpu-measure-lib.sh"

silent_pty "$tmp/idle1"
silent_pty "$tmp/idle2"
"$bin" simulate --pty --rate 82 > "$tmp/sim" &
pids+=($!)
for _ in $(seq 50); do [ -s "$tmp/sim" ] && break; sleep 0.1; done
"$bin" simulate --pty --rate 82 > "$tmp/sim82" &
pids+=($!)
"$bin" simulate --pty --rate 4 > "$tmp/sim4" &
pids+=($!)
for _ in $(seq 50); do [ -s "$tmp/sim82" ] && [ -s "$tmp/sim4" ] && break; sleep 0.1; done

"$bin" log --port "$(head -1 "$tmp/idle1")" --save "$tmp/idle.txt" 2>/dev/null &
idle_log=$!; pids+=($idle_log)
"$bin" log --port "$(head -1 "$tmp/sim")" --save "$tmp/busy.txt" 2>/dev/null &
busy_log=$!; pids+=($busy_log)
QT_QPA_PLATFORM=offscreen "$bin" --port "COM1=$(head -1 "$tmp/idle2")" --connect 2>/dev/null &
idle_win=$!; pids+=($idle_win)
QT_QPA_PLATFORM=offscreen "$bin" --demo --connect 2>/dev/null &
demo_win=$!; pids+=($demo_win)

QT_QPA_PLATFORM=offscreen "$bin" --port "COM1=$(head -1 "$tmp/sim82")" --connect 2>/dev/null &
busy_win=$!; pids+=($busy_win)
QT_QPA_PLATFORM=offscreen "$bin" --port "COM1=$(head -1 "$tmp/sim4")" --connect 2>/dev/null &
slow_win=$!; pids+=($slow_win)

measure_cpu "$seconds" idle_log busy_log idle_win demo_win busy_win slow_win
rows=$(( $(wc -l < "$tmp/busy.txt") - 1 ))
echo "busy_log recorded $rows rows"
