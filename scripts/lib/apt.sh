# Package installs that survive a flaky archive. Sourced by the install scripts.
#   apt_install PKG...    refresh the indexes once, then install PKG... without
#                         removing anything that is installed.
# A failed index (a mirror mid-sync) is not fatal: apt keeps the indexes that
# did download. When a second architecture is enabled, versions come from the
# release's main suites first, so that both architectures of a library resolve
# to a version that both have: the security suite's i386 index is the one seen
# failing, and its amd64 upgrades then have no i386 twin.
APT_SUDO=""; [ "$(id -u)" -eq 0 ] || APT_SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
APT_OPTS=(-y -qq --no-install-recommends -o DPkg::Lock::Timeout=300
          -o Acquire::Retries=3 -o Acquire::http::Timeout=60)

# apt_try3 LOG TOLERATE CMD...: CMD up to three times, its output in LOG.
# TOLERATE, when not empty, is a test of LOG that accepts a failed run.
apt_try3() {
  local log=$1 tolerate=$2 try; shift 2
  for try in 1 2 3; do
    "$@" >"$log" 2>&1 && return 0
    [ -n "$tolerate" ] && "$tolerate" "$log" && return 0
    sleep $((try * 10))
  done
  cat "$log" >&2
  return 1
}

# Only a missing index is tolerated; anything else is tried again.
apt_only_indexes_failed() {
  grep -q 'Some index files failed to download' "$1" && ! grep -q '^E: \(Could not\|Unable\)' "$1" || return 1
  echo "apt: some package indexes failed to download; going on with the rest:" >&2
  grep '^E: Failed to fetch' "$1" | sed 's/^E: /apt:   /; s/  *Hashes.*//' >&2 || true
}

apt_update() {
  [ -n "${APT_UPDATED:-}" ] && return 0
  local log status=0
  log=$(mktemp)
  apt_try3 "$log" apt_only_indexes_failed \
    $APT_SUDO apt-get update -qq -o DPkg::Lock::Timeout=300 -o Acquire::Retries=3 || status=$?
  rm -f "$log"
  [ $status -eq 0 ] || { echo "apt: apt-get update failed three times" >&2; return 1; }
  APT_UPDATED=1
}

apt_install() {
  [ $# -gt 0 ] || return 0
  apt_update
  local opts=("${APT_OPTS[@]}") log status=0
  if [ -n "$(dpkg --print-foreign-architectures)" ]; then
    local codename
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    [ -n "$codename" ] && opts+=(-t "$codename")
  fi
  # Refuse a plan that removes packages: they may be what the Linux build needs.
  log=$(mktemp)
  if ! $APT_SUDO apt-get install -s "${opts[@]}" "$@" >"$log" 2>&1; then
    cat "$log" >&2; rm -f "$log"
    echo "apt: cannot install: $*" >&2; return 1
  fi
  if grep -q '^Remv ' "$log"; then
    echo "apt: installing $* would remove:" >&2
    grep '^Remv ' "$log" | sed 's/^Remv /apt:   /' >&2
    rm -f "$log"; return 1
  fi
  # dpkg's hundreds of lines are shown only when the install fails.
  apt_try3 "$log" "" $APT_SUDO apt-get install "${opts[@]}" "$@" || status=$?
  rm -f "$log"
  [ $status -eq 0 ] || { echo "apt: installing $* failed three times" >&2; return 1; }
  echo "installed: $*"
}

# require_tools "what" CMD...: names every command still missing.
require_tools() {
  local what=$1 missing=() c; shift
  for c in "$@"; do command -v "$c" >/dev/null 2>&1 || missing+=("$c"); done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "$what: still missing after the install: ${missing[*]}" >&2
    return 1
  fi
}
