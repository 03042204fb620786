#!/usr/bin/env bash
# apt_install (scripts/lib/apt.sh) against a fake apt-get and dpkg on PATH,
# in the states a machine with a second architecture can be in. The one seen
# in the field: amd64 libraries upgraded from the security suite, so a plan
# pinned to the release's main suites would remove a package (libgs10),
# while the unpinned plan installs cleanly.
set -uo pipefail
lib=$(cd "$(dirname "$0")/../../scripts/lib" && pwd)/apt.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0; failed=0
source "$(dirname "$0")/../support/check.sh"

mkdir -p "$work/bin"
printf '#!/bin/sh\n[ "$1" = --print-foreign-architectures ] && echo i386\nexit 0\n' >"$work/bin/dpkg"
# A simulated install answers by whether it is pinned (-t): FAKE_UNPINNED and
# FAKE_PINNED are "clean", "remove" (a plan with a Remv line) or "fail".
cat >"$work/bin/apt-get" <<'EOF'
#!/bin/sh
echo "$*" >>"$FAKE_CALLS"
case " $* " in *" update "*) exit 0 ;; esac
case " $* " in *" -s "*) ;; *) exit 0 ;; esac
answer=$FAKE_UNPINNED
case " $* " in *" -t "*) answer=$FAKE_PINNED ;; esac
case $answer in
  clean) echo "Inst libjbig2dec0:i386 (0.19-2 Debian:12/stable [i386])" ;;
  remove) echo "Remv libgs10 [10.0.0~dfsg-11+deb12u4]"
          echo "Inst libjbig2dec0:i386 (0.19-2 Debian:12/stable [i386])" ;;
  fail) echo "E: Unable to correct problems, you have held broken packages." >&2; exit 100 ;;
esac
EOF
chmod +x "$work/bin/dpkg" "$work/bin/apt-get"
printf 'VERSION_CODENAME=bookworm\n' >"$work/os-release"

# case name, unpinned answer, pinned answer, the real install ("unpinned",
# "pinned", or "none" when none may run), what stderr must say
cases=(
  "security updates installed|clean|remove|unpinned|"
  "security index missing|fail|clean|pinned|installing from the bookworm suites"
  "both plans remove|remove|remove|none|would remove:"
  "both plans fail|fail|fail|none|held broken packages"
)
for row in "${cases[@]}"; do
  IFS='|' read -r name unpinned pinned want want_err <<<"$row"
  : >"$work/calls"
  (
    export PATH="$work/bin:$PATH" FAKE_CALLS=$work/calls FAKE_UNPINNED=$unpinned FAKE_PINNED=$pinned
    export APT_OS_RELEASE=$work/os-release
    . "$lib"
    APT_SUDO=""  # sudo would reset PATH and find the real apt-get
    apt_install libjbig2dec0:i386
  ) >"$work/out" 2>"$work/err"
  status=$?
  real=$(grep -v -e ' -s ' -e '^update' "$work/calls")
  case $real in
    "") got=none ;;
    *$'\n'*) got="several installs" ;;
    *" -t bookworm "*) got=pinned ;;
    *) got=unpinned ;;
  esac
  check "$name: install $want" [ "$got" = "$want" ]
  check "$name: exit status" [ "$status" = "$([ "$want" = none ] && echo 1 || echo 0)" ]
  [ -z "$want_err" ] || check "$name: says '$want_err'" grep -q -- "$want_err" "$work/err"
done
echo "apt-install: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
