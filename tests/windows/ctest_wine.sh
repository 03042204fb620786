#!/usr/bin/env bash
# Runs a Windows build's unit tests under wine through CTest. A test that
# failed with no output at all is a wine start that never reached the
# program (seen once in a few hundred starts: 0.03 s, nothing printed); only
# such a test is run again, twice at most. A test that printed anything and
# failed has failed.
# Usage: tests/windows/ctest_wine.sh BUILD_DIR LABEL
# Its last line: "LABEL: N passed of M (K skipped)".
set -uo pipefail
build=${1:?Windows build directory}
label=${2:?label}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# JUnit's record keeps each test's status and output apart.
# A test that hangs (a wine start that never returns) is stopped after ten
# minutes; one that printed nothing is tried again below.
ctest --test-dir "$build" --output-on-failure --timeout 600 -j2 --output-junit "$work/run.xml"
summary() {  # JUNIT: prints "total skipped", then the failed tests, as "silent NAME" or "failed NAME"
  python3 - "$1" <<'EOF'
import sys, xml.etree.ElementTree as ET
cases = ET.parse(sys.argv[1]).getroot().iter('testcase')
rows = []
for case in cases:
    status = case.get('status')
    if status == 'run':
        rows.append(('passed', case.get('name')))
    elif case.find('skipped') is not None:
        rows.append(('skipped', case.get('name')))
    else:
        out = ''.join(e.text or '' for e in case.iter('system-out'))
        rows.append(('silent' if not out.strip() else 'failed', case.get('name')))
print(len(rows), sum(kind == 'skipped' for kind, _ in rows))
for kind, name in rows:
    if kind not in ('passed', 'skipped'):
        print(kind, name)
EOF
}
summary "$work/run.xml" >"$work/first"
read -r total skipped <"$work/first"
tail -n +2 "$work/first" >"$work/left"
for try in 2 3; do
  grep -q '^silent ' "$work/left" || break
  : >"$work/next"
  while read -r kind name; do
    if [ "$kind" != silent ]; then echo "$kind $name" >>"$work/next"; continue; fi
    echo "$label: $name failed with no output (a wine start that never reached the program); try $try of 3"
    ctest --test-dir "$build" --output-on-failure --timeout 600 -R "^${name//[][().*+?^$|\\]/\\&}\$" \
      --output-junit "$work/retry.xml"
    summary "$work/retry.xml" | tail -n +2 >>"$work/next"
  done <"$work/left"
  mv "$work/next" "$work/left"
done
failed=$(grep -c . "$work/left")
if [ "$failed" -gt 0 ]; then
  echo "$label: failed:"; sed 's/^/  /' "$work/left"
fi
echo "$label: $((total - skipped - failed)) passed of $total ($skipped skipped)"
[ "$failed" -eq 0 ]
