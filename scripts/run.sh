#!/usr/bin/env bash
# Starts the program from the build folder given as $1. With PORT=/path COM1 is that device
# (a meter on a USB adapter: PORT=/dev/ttyUSB0); without it the built-in demo meter is COM1.
set -euo pipefail
build=${1:-build}
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display to show the window on: start it in a desktop session, or run" >&2
    echo "  xvfb-run make run" >&2
    exit 1
fi
if [ -n "${PORT:-}" ]; then
  exec "$build/halvern" --port "COM1=$PORT" "${@:2}"
fi
exec "$build/halvern" --demo "${@:2}"
