#!/usr/bin/env bash
# Starts the program from the build folder given as $1.
set -euo pipefail
build=${1:-build}
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display to show the window on: start it in a desktop session, or run" >&2
    echo "  xvfb-run make run" >&2
    exit 1
fi
exec "$build/halvern" "${@:2}"
