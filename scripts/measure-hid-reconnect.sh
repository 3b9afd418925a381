#!/usr/bin/env bash
# The HID cable's reconnect in figures: the latency from a replug until halvern log --hid reads
# the cable again (prepared tree, retry once a second; and with hot-plug notices, in process),
# and the processor time of the logger while it waits for the cable.
# Usage: scripts/measure-hid-reconnect.sh [BUILD] [REPLUGS] [WAIT_SECONDS]
set -euo pipefail
build=${1:-build}
replugs=${2:-10}
seconds=${3:-10}
cmake --build "$build" --target halvern hid_reconnect_figures >/dev/null
"$build/bench/hid_reconnect_figures" "$build/halvern" "$replugs" "$seconds"
