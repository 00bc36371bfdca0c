#!/usr/bin/env bash
# Runs a Windows program under Wine for CTest: its output goes through a file, because Wine's
# helper processes inherit the pipes of whoever starts them and keep them open.
set -u
out=$(mktemp)
trap 'rm -f "$out"' EXIT
WINEDEBUG=${WINEDEBUG:--all} wine "$@" </dev/null >"$out" 2>&1
status=$?
tr -d '\r' <"$out"
exit $status
