#!/usr/bin/env bash
# Measures the processor time of the USB bridge link over SECONDS (default 30) of wall time,
# from /proc/<pid>/stat (utime + stime), with the link started on a bridge that sends nothing:
#   idle-window  the window with "USB Connect " down (Timer1 ticking every 10 ms)
#   idle-log     halvern log --usb-bridge
# The bridge is a sysfs tree in a temporary folder whose ttyUSB0 leads to a silent
# pseudo-terminal. Usage: scripts/measure-usb-cpu.sh [BUILD] [SECONDS]
set -euo pipefail
build=${1:-build}
seconds=${2:-30}
bin="$build/halvern"
source "$(dirname "$0")/cpu-measure-lib.sh"

# A tree as on a machine with the bridge: class/tty/ttyUSB0 -> devices/.../1-2/1-2:1.0/...
tree() {
  local root=$1 node=$2 usb="$1/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2"
  mkdir -p "$usb/1-2:1.0/ttyUSB0/tty/ttyUSB0" "$root/sys/class/tty" "$root/dev"
  echo 10c4 > "$usb/idVendor"; echo ea61 > "$usb/idProduct"; echo CP2110 > "$usb/product"
  echo 1 > "$usb/busnum"; echo 3 > "$usb/devnum"
  ln -s ../../devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/ttyUSB0/tty/ttyUSB0 \
        "$root/sys/class/tty/ttyUSB0"
  ln -s "$node" "$root/dev/ttyUSB0"
}

silent_pty "$tmp/pty1"
silent_pty "$tmp/pty2"
tree "$tmp/win" "$(head -1 "$tmp/pty1")"
tree "$tmp/log" "$(head -1 "$tmp/pty2")"

QT_QPA_PLATFORM=offscreen "$bin" --sysfs-root "$tmp/win/sys" --dev-root "$tmp/win/dev" \
  --usb-connect 2>/dev/null &
idle_win=$!; pids+=($idle_win)
"$bin" log --usb-bridge --sysfs-root "$tmp/log/sys" --dev-root "$tmp/log/dev" \
  --save "$tmp/idle.txt" 2>/dev/null &
idle_log=$!; pids+=($idle_log)

measure_cpu "$seconds" idle_win idle_log
