# Package installs that survive a flaky archive. Sourced by the install scripts.
#   apt_install PKG...    refresh the indexes once, then install PKG... without
#                         removing anything that is installed.
# A failed index (a mirror mid-sync) is not fatal: apt keeps the indexes that
# did download. A plan is made unpinned first; when that fails and a second
# architecture is enabled, it is made again from the release's main suites
# (the security suite's i386 index is the one seen failing, and its amd64
# upgrades then have no i386 twin). A plan that removes a package is refused.
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

# apt_plan LOG OPTS... -- PKG...: a simulated install into LOG; fails when the
# plan cannot be made or would remove a package (it may be what the build needs).
apt_plan() {
  local log=$1; shift
  $APT_SUDO apt-get install -s "$@" >"$log" 2>&1 || return 1
  ! grep -q '^Remv ' "$log"
}

apt_install() {
  [ $# -gt 0 ] || return 0
  apt_update
  local opts=("${APT_OPTS[@]}") log status=0 codename=""
  log=$(mktemp)
  # Unpinned first: a machine whose amd64 libraries carry security updates
  # needs their i386 twins from the security suite too. The pin to the
  # release's main suites is the fallback for a security index that failed
  # to download, where the upgrades have no i386 twin at all.
  if ! apt_plan "$log" "${opts[@]}" "$@"; then
    if [ -n "$(dpkg --print-foreign-architectures)" ]; then
      codename=$(. "${APT_OS_RELEASE:-/etc/os-release}" && echo "${VERSION_CODENAME:-}")
    fi
    if [ -n "$codename" ] && apt_plan "$log.pin" "${opts[@]}" -t "$codename" "$@"; then
      echo "apt: the plain install plan failed; installing from the $codename suites" >&2
      opts+=(-t "$codename")
    else
      if grep -q '^Remv ' "$log"; then
        echo "apt: installing $* would remove:" >&2
        grep '^Remv ' "$log" | sed 's/^Remv /apt:   /' >&2
      else
        cat "$log" >&2
      fi
      rm -f "$log" "$log.pin"
      echo "apt: cannot install: $*" >&2; return 1
    fi
  fi
  rm -f "$log.pin"
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
