#!/usr/bin/env bash
# The Windows build's USB device side under Wine, against the simulated EZ-USB kernel driver
# (ezusb_sim.sys, loaded by Wine's device host).
#   tools/wine/usb-driver-tests.sh <Windows build folder>
# Every test group runs in a fresh Wine prefix, copied from one booted template so that each
# costs a copy instead of a boot: "legacy" prefixes start the driver as a service and make
# "\\.\Ezusb-0"; "cyusb" prefixes have the root-enumerated Plug and Play device, which Wine
# starts with the wineserver, so that the program finds the CyUSB interface instead. Wine
# programs write to files, never to pipes (Wine's helper processes keep inherited pipes open).
set -euo pipefail
win_build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
cli=$win_build/app/flashwright-cli.exe
ctl=$win_build/tools/wine/ezusb_sim_ctl.exe
driver=$win_build/tools/wine/ezusb_sim.sys

work=$(mktemp -d /tmp/flashwright-wine-usb.XXXXXX)
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
failures=0
cleanup() {
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then wineserver -k 2>/dev/null || true; fi
  if [ "$failures" -eq 0 ]; then rm -rf "$work"; else echo "== the work folder is kept: $work"; fi
}
trap cleanup EXIT

pass() { echo "  ok   $*"; }
fail() { echo "  FAIL $*"; failures=$((failures + 1)); }
check() { # check <description> <command...>
  local what=$1; shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}

# wine_run <output file> <program> [arguments...]: status in $status, output in the file.
wine_run() {
  local out=$1; shift
  set +e
  timeout 120 wine "$@" </dev/null >"$out.raw" 2>&1
  status=$?
  set -e
  tr -d '\r' <"$out.raw" >"$out"
}

sim() { # sim <commands...>: ezusb_sim_ctl.exe, failing the script when it fails
  wine_run "$work/ctl.txt" "$ctl" "$@"
  if [ $status -ne 0 ]; then cat "$work/ctl.txt"; return 1; fi
}

echo "== Wine prefix template with the simulated driver"
template=$work/template
mkdir -p "$template"
export WINEPREFIX=$template
wineserver -p >"$work/wineserver.log" 2>&1
wineboot -i >"$work/wineboot.log" 2>&1
rm -f "$WINEPREFIX"/dosdevices/com*
cp "$driver" "$WINEPREFIX/drive_c/windows/system32/drivers/ezusb_sim.sys"
wine_run "$work/sc.txt" sc create ezusb_sim type= kernel start= demand \
  binPath= 'C:\windows\system32\drivers\ezusb_sim.sys'
wineserver -k
wineserver -w 2>/dev/null || true
cp -a "$template" "$work/template-cyusb"
export WINEPREFIX=$work/template-cyusb
wineserver -p >>"$work/wineserver.log" 2>&1
sim add-pnp-device
wineserver -k
wineserver -w 2>/dev/null || true

# new_prefix <name> <legacy|cyusb>: a fresh prefix from the template, its wineserver kept alive,
# the driver loaded and the device at its defaults.
new_prefix() {
  local name=$1 model=$2 tries=0
  [ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null || true
  export WINEPREFIX=$work/$name
  if [ "$model" = cyusb ]; then cp -a "$work/template-cyusb" "$WINEPREFIX"
  else cp -a "$template" "$WINEPREFIX"; fi
  wineserver -p >>"$work/wineserver.log" 2>&1
  if [ "$model" = legacy ]; then
    wine_run "$work/sc-start.txt" sc start ezusb_sim
  fi
  # The Plug and Play device's driver comes up with the device host, a moment after the server.
  until wine_run "$work/ctl.txt" "$ctl" reset && [ $status -eq 0 ]; do
    tries=$((tries + 1))
    if [ $tries -ge 20 ]; then cat "$work/ctl.txt"; echo "the simulated driver did not load"; return 1; fi
    sleep 0.25
  done
  if [ "$model" = legacy ]; then sim legacy 1; else sim legacy 0; fi
}

for model in legacy cyusb; do
  echo "== the driver layer and the device access on the $model model"
  new_prefix "access-$model" "$model"
  filter="WineUsbDevice.*:WineLegacyDriverIo.*"
  [ "$model" = cyusb ] && filter="WineUsbDevice.*:WineCyUsbDriverIo.*:WineUsbHotplug.*"
  FLASHWRIGHT_WINE_USB_MODEL=$model wine_run "$work/access-$model.txt" \
    "$win_build/tools/wine/wine_usb_test.exe" --gtest_filter="$filter"
  if [ $status -eq 0 ] && ! grep -q '^\[  SKIPPED' "$work/access-$model.txt"; then
    pass "wine_usb_test on $model ($(grep -c '^\[       OK' "$work/access-$model.txt") cases)"
  else cat "$work/access-$model.txt"; fail "wine_usb_test on $model"; fi
done

if [ $failures -ne 0 ]; then
  echo "== $failures USB check(s) under Wine failed; the work folder was $work"
  exit 1
fi
echo "== all USB checks under Wine passed"
