# Shared by the processor-time scripts (sourced, not run): a temporary folder $tmp, the
# processes in $pids ended on exit, silent pseudo-terminals and the measurement itself.
tick=$(getconf CLK_TCK)
tmp=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

# A pseudo-terminal nobody writes to: the silent port. Its device path is the first line of $1.
silent_pty() {
  python3 -c 'import os,sys,time
m,s=os.openpty(); print(os.ttyname(s), flush=True); time.sleep(3600)' > "$1" &
  pids+=($!)
  for _ in $(seq 50); do [ -s "$1" ] && break; sleep 0.1; done
}

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

# measure_cpu SECONDS NAME...: after 3 s of start-up, the processor time each process (whose
# pid the variable NAME holds) uses in SECONDS of wall time.
measure_cpu() {
  local seconds=$1 n used
  shift
  sleep 3  # start-up (window creation) is not part of the steady state
  declare -A start
  for n in "$@"; do start[$n]=$(cpu_ticks "${!n}"); done
  sleep "$seconds"
  for n in "$@"; do
    used=$(( $(cpu_ticks "${!n}") - ${start[$n]} ))
    awk -v n="$n" -v u="$used" -v t="$tick" -v s="$seconds" \
      'BEGIN { printf "%-9s %6.3f s of processor time in %d s = %.2f %% of one core\n", n, u / t, s, 100 * u / t / s }'
  done
}
