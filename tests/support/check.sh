# The pass/fail record of the shell tests. Sourced; the caller sets passed=0
# and failed=0.
check() {  # name, condition...
  local name=$1; shift
  if "$@"; then passed=$((passed + 1)); echo "ok   $name"; else failed=$((failed + 1)); echo "FAIL $name"; fi
}
