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

apt_update() {
  [ -n "${APT_UPDATED:-}" ] && return 0
  local log try
  log=$(mktemp)
  for try in 1 2 3; do
    if $APT_SUDO apt-get update -qq -o DPkg::Lock::Timeout=300 -o Acquire::Retries=3 >"$log" 2>&1; then
      APT_UPDATED=1; rm -f "$log"; return 0
    fi
    # Only a missing index is tolerated; anything else is tried again.
    if grep -q 'Some index files failed to download' "$log" && ! grep -q '^E: \(Could not\|Unable\)' "$log"; then
      echo "apt: some package indexes failed to download; going on with the rest:" >&2
      grep '^E: Failed to fetch' "$log" | sed 's/^E: /apt:   /; s/  *Hashes.*//' >&2 || true
      APT_UPDATED=1; rm -f "$log"; return 0
    fi
    sleep $((try * 10))
  done
  cat "$log" >&2; rm -f "$log"
  echo "apt: apt-get update failed three times" >&2
  return 1
}

apt_install() {
  [ $# -gt 0 ] || return 0
  apt_update
  local opts=("${APT_OPTS[@]}") log try
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
  for try in 1 2 3; do
    if $APT_SUDO apt-get install "${opts[@]}" "$@" >"$log" 2>&1; then
      rm -f "$log"; echo "installed: $*"; return 0
    fi
    sleep $((try * 10))
  done
  cat "$log" >&2; rm -f "$log"
  echo "apt: installing $* failed three times" >&2
  return 1
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
