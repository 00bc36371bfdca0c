#!/usr/bin/env bash
# lintian finds no error and no warning in the package. An override must carry its reason on
# the comment line just above it, and must still be needed.
#   lintian_test.sh <package.deb> <overrides file>
set -euo pipefail
deb=${1:?usage: $0 <package.deb> <overrides file>}
overrides=${2:?usage: $0 <package.deb> <overrides file>}
if [ ! -f "$deb" ]; then
  echo "FAIL: $deb was not built" >&2
  exit 1
fi
if [ -f "$overrides" ]; then
  awk 'NF && !/^#/ { if (previous !~ /^# [^ ]/) { print "FAIL: override without a reason: " $0; bad = 1 } }
       { previous = $0 } END { exit bad }' "$overrides" >&2
fi
report=$(mktemp)
trap 'rm -f "$report"' EXIT
status=0
lintian --fail-on error,warning --display-info --show-overrides --tag-display-limit 0 "$deb" \
  >"$report" 2>&1 || status=$?
cat "$report"
if grep -q 'unused-override\|mismatched-override' "$report"; then
  echo "FAIL: an override is no longer needed" >&2
  exit 1
fi
if [ "$status" -ne 0 ]; then
  echo "FAIL: lintian reports errors or warnings (status $status)" >&2
  exit 1
fi
echo "lintian: no errors, no warnings in $(basename "$deb")"
