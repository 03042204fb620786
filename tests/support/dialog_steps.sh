# Steps shared by the scripts that drive a real save dialog under Xvfb with
# xdotool. Sourced; the caller sets passed=0 and failed=0.

# Focuses window $1, then runs the rest as an xdotool command.
keys() { xdotool windowfocus --sync "$1" && shift && xdotool "$@"; }

# Waits for pid $1 ($2 s at most, default 20, timed by the clock: a round of
# the loop takes far longer than its sleep on a busy machine); its exit code,
# 124 on a timeout.
finish() {
  local deadline=$((SECONDS + ${2:-20}))
  while kill -0 "$1" 2>/dev/null && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.05; done
  if kill -0 "$1" 2>/dev/null; then kill -9 "$1"; wait "$1" 2>/dev/null; return 124; fi
  wait "$1"
}

source "$(dirname "${BASH_SOURCE[0]}")/check.sh"
