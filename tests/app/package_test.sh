#!/usr/bin/env bash
# The Debian package as a user meets it: made with CPack from the build,
# unpacked into a scratch root with dpkg -x (no system-wide install on a
# shared machine), and both programs run from there as an unprivileged user whose executable folder is not
# writable, so the desktop program must use the user's cache folder.
# Usage: tests/app/package_test.sh BUILD_DIR
set -euo pipefail
build=$(realpath "${1:?build directory}")
here=$(dirname "$(realpath "$0")")
work=$(mktemp -d)
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "package: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) ||
  { cat "$work/cpack.log" >&2; fail "cpack failed"; }
deb=$(ls "$work"/out/bmp256_*.deb)
info=$(dpkg-deb -f "$deb" Depends)
case $info in *libgtk-3-0*) ;; *) fail "Depends lacks libgtk-3-0: $info" ;; esac
dpkg-deb --ctrl-tarfile "$deb" | tar -t >"$work/control.txt"
grep -qx './postinst' "$work/control.txt" || fail "no postinst"
dpkg-deb -c "$deb" >"$work/contents.txt"
# Debian's own checks of a package: no error, whatever it warns of.
command -v lintian >/dev/null || fail "lintian missing: scripts/install-deps.sh installs it"
status=0
lintian --fail-on error "$deb" >"$work/lintian.txt" 2>&1 || status=$?
if [ $status -ne 0 ] || grep -q '^E: ' "$work/lintian.txt"; then
  cat "$work/lintian.txt" >&2
  fail "lintian reports errors (exit $status)"
fi
# Whatever the install rules install is packaged: the programs, entry, man
# pages, licence and icons the desktop_install test requires of them, and the
# changelog Debian wants, which only this test asks for.
DESTDIR="$work/plain" cmake --install "$build" --prefix /usr >/dev/null
[ -f "$work/plain/usr/share/doc/bmp256/changelog.gz" ] || fail "no changelog.gz installed"
# The sizes file managers and menus ask for, whatever the build's list says.
for size in 16 32 48 64 128 256; do
  [ -f "$work/plain/usr/share/icons/hicolor/${size}x$size/apps/bmp256.png" ] || fail "no icon at $size pixels"
done
while read -r path; do
  grep -q " \.${path#"$work/plain"}\$" "$work/contents.txt" || fail "not packaged: ${path#"$work/plain"}"
done < <(find "$work/plain" -type f)

root=$work/root
dpkg -x "$deb" "$root"
grep -qx "Exec=/usr/bin/bmp256 %f" "$root/usr/share/applications/bmp256.desktop" ||
  fail "desktop entry does not name /usr/bin/bmp256"

# The user: nobody when we are root, else ourselves with the program's folder
# made read-only, as /usr/bin is to a user.
user=$work/user
mkdir -p "$user/home" "$user/pictures"
as_user=()
if [ "$(id -u)" = 0 ]; then
  chown -R nobody:nogroup "$user"
  chmod 755 "$work"
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
else
  chmod a-w "$root/usr/bin"
fi
photo=$user/pictures/photo.bmp
cp "$here/../../samples/sample.bmp" "$photo"
[ "$(id -u)" = 0 ] && chown nobody:nogroup "$photo"
is_8bit() { [ -f "$1" ] && [ "$(head -c 2 "$1")" = BM ] && [ "$(od -An -tu2 -j28 -N2 "$1" | tr -d ' ')" = 8 ]; }

env -i PATH=/usr/bin:/bin HOME="$user/home" "${as_user[@]}" \
  "$root/usr/bin/bmp256-convert" "$photo" "$user/pictures/convert.bmp" || fail "bmp256-convert failed"
is_8bit "$user/pictures/convert.bmp" || fail "bmp256-convert wrote no 8-bit file"

# The desktop program through its terminal prompt: Enter on a typed name.
env -i PATH=/usr/bin:/bin HOME="$user/home" LC_ALL=C.UTF-8 \
  python3 "$here/run_on_terminal.py" "~/../pictures/desktop.bmp" -- \
  "${as_user[@]}" "$root/usr/bin/bmp256" "$photo" >"$work/prompt.log" 2>&1 ||
  { cat "$work/prompt.log" >&2; fail "bmp256 did not end"; }
is_8bit "$user/pictures/desktop.bmp" || { cat "$work/prompt.log" >&2; fail "bmp256 wrote no 8-bit file"; }
cmp -s "$user/pictures/desktop.bmp" "$user/pictures/convert.bmp" || fail "the two programs disagree"
cmp -s "$user/pictures/desktop.bmp" "$user/home/.cache/bmp256/bmp256.tmp" ||
  fail "the temporary file is not in the user's cache folder"
[ ! -e "$root/usr/bin/bmp256.tmp" ] || fail "a temporary file beside the installed program"
echo "package: $(basename "$deb") installs and converts as an unprivileged user"
