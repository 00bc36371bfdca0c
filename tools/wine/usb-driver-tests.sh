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

# The driver is a 32-bit kernel-mode driver: only a 32-bit prefix's device host loads it.
# shellcheck source=tools/wine/wine-session.sh
. "$here/wine-session.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}"/flashwright-wine-usb.XXXXXX)
failures=0
cleanup() {
  local code=$?
  [ $code -eq 0 ] || failures=$((failures + 1))
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then wineserver -k 2>/dev/null || true; fi
  if [ "$failures" -eq 0 ]; then rm -rf "$work"; else echo "== the work folder is kept: $work"; fi
}
trap cleanup EXIT

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
  # The Plug and Play device's driver comes up with the device host, a moment after the server;
  # the service's start can fail while the prefix's services are still coming up (1077), and is
  # asked again.
  while :; do
    if [ "$model" = legacy ]; then wine_run "$work/sc-start.txt" sc start ezusb_sim; fi
    wine_run "$work/ctl.txt" "$ctl" reset
    [ $status -ne 0 ] || break
    tries=$((tries + 1))
    if [ $tries -ge 40 ]; then
      cat "$work/ctl.txt" "$work/sc-start.txt" 2>/dev/null
      echo "the simulated driver did not load"
      return 1
    fi
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
  # The figures only: speed is a benchmark's matter, never a pass or fail of a test.
  wine_run "$work/bench-$model.txt" "$win_build/bench/bench_usb_update.exe"
  sed 's/^/       /' "$work/bench-$model.txt"
  check "bench_usb_update writes the image on every driver (status $status)" test $status -eq 0
done

# ---- flashwright-cli.exe usb, the shipped program, against the simulated driver

firmware=$work/ezusb_fw
mkdir -p "$firmware"
# image <name> [first byte] [vendor] [product] [product text] [size]: an image as the devices
# take it (load-format byte, IDs, the product marker and text at 64) in the firmware folder,
# with filler that never starts a write block with the fault marker DE AD.
image() {
  python3 - "$firmware/$1.bin" "${2:-c2}" "${3:-04b4}" "${4:-8613}" "${5-Gate 1.2.3.5}" "${6:-1000}" <<'PY'
import sys
path, first, vid, pid, text, size = sys.argv[1:]
size = int(size)
data = bytearray(((i * 7 + (i >> 8) + 3) & 0xFF) for i in range(size))
vid, pid = int(vid, 16), int(pid, 16)
data[0:5] = bytes([int(first, 16), vid & 0xFF, vid >> 8, pid & 0xFF, pid >> 8])
if text:
    marker = ("Orvane Folio Systems " + text).encode("utf-16-le") + b"\0\0"
    data[64:64 + len(marker)] = marker
open(path, "wb").write(data)
PY
}
# The "old firmware" the device holds before a test: its first byte, then a pattern.
old_eeprom=$work/old-eeprom.bin
python3 - "$old_eeprom" <<'PY'
import sys
data = bytearray(((i * 13 + (i >> 9)) & 0xFF) for i in range(65536))
data[0] = 0xC2
open(sys.argv[1], "wb").write(data)
PY

device() { # device [reset settings...]: the device at its defaults with the old EEPROM
  sim reset "$@" load "Z:$old_eeprom"
}
eeprom_file() { sim save "Z:$work/eeprom.bin"; echo "$work/eeprom.bin"; }
counter() { sim counters "Z:$work/counters.txt"; sed -n "s/^$1 //p" "$work/counters.txt"; }
# written_up_to <image> <count>: the EEPROM holds the image's first count bytes, then the old
# contents, byte for byte.
written_up_to() {
  local saved
  saved=$(eeprom_file)
  python3 - "$saved" "$old_eeprom" "$1" "$2" <<'PY'
import sys
saved, old, image, count = sys.argv[1:]
saved, old, image = open(saved, "rb").read(), bytearray(open(old, "rb").read()), open(image, "rb").read()
count = int(count)
old[0:count] = image[0:count]
if saved != bytes(old):
    first = next(i for i in range(len(old)) if saved[i] != old[i])
    print(f"the EEPROM differs first at {first}: {saved[first]:02x}, expected {old[first]:02x}")
    sys.exit(1)
PY
}
untouched() { written_up_to "$old_eeprom" 0 && [ "$(counter eeprom_writes)" = 0 ]; }
has() { grep -qF -- "$2" "$1" || { echo "$1 lacks: $2"; cat "$1"; return 1; }; }
lacks() { ! grep -qF -- "$2" "$1" || { echo "$1 has: $2"; return 1; }; }

usb_update() { # usb_update <output> <image name> [options...]
  local out=$1 name=$2; shift 2
  wine_run "$out" "$cli" usb update --device 0 --firmware "$name" --firmware-dir "Z:$firmware" "$@"
}
response_error="Response error. Device may not support firmware update."

image Gate
for model in legacy cyusb; do
  name=Cyusb-0; [ "$model" = legacy ] && name=Ezusb-0
  echo "== flashwright-cli.exe usb on the $model model"
  new_prefix "cli-$model" "$model"

  device
  wine_run "$work/list.txt" "$cli" usb list
  check "usb list shows $name with its IDs, first byte and product (status $status)" \
    eval 'has "$work/list.txt" "$name" && has "$work/list.txt" 04B4 && has "$work/list.txt" 8613 &&
          has "$work/list.txt" C2 && has "$work/list.txt" "Orvane Folio Systems Gate 1.2.3.4"'
  wine_run "$work/info.txt" "$cli" --json usb info --device 0
  check "usb info gives the driver's version" has "$work/info.txt" '"driver":"1.2.3"'
  wine_run "$work/info-missing.txt" "$cli" usb info --device 4
  check "usb info on a device that is not there ends with status 3 (status $status)" test $status -eq 3

  usb_update "$work/update.txt" Gate
  check "usb update succeeds (status $status)" \
    eval 'test $status -eq 0 && has "$work/update.txt" "Firmware on $name successfully updated."'
  check "and reads the image back" has "$work/update.txt" "Verify (0 of 1000)"
  check "the driver's EEPROM holds the image and nothing else changed" \
    written_up_to "$firmware/Gate.bin" 1000
  check "in 33 blocks of at most 31 bytes" test "$(counter eeprom_writes)" = 33

  device
  wine_run "$work/backup.txt" "$cli" usb backup --device 0 --output "Z:$work/backup-$model.bin"
  check "usb backup saves the 65,536 bytes (status $status)" \
    eval 'test $status -eq 0 && cmp -s "$work/backup-$model.bin" "$old_eeprom"'

  # Faults on the third write block: two blocks of 31 bytes made it, nothing after them.
  device
  sim fault stall 2 @3
  usb_update "$work/stall.txt" Gate
  check "a stall ends with its code and the offset reached (status $status)" \
    eval 'test $status -eq 1 && has "$work/stall.txt" "$response_error" &&
          has "$work/stall.txt" "(Err:31,Offset:62)"'
  check "and the EEPROM holds the two blocks only" written_up_to "$firmware/Gate.bin" 62

  device
  sim fault fail-writes 3 2 1617
  usb_update "$work/removed.txt" Gate
  code=31; [ "$model" = legacy ] && code=1617
  check "a failed write ends with Err:$code (status $status)" \
    eval 'test $status -eq 1 && has "$work/removed.txt" "(Err:$code,Offset:62)"'
  check "and the EEPROM holds the two blocks only" written_up_to "$firmware/Gate.bin" 62

  device
  sim fault unplug-after 100
  usb_update "$work/gone.txt" Gate
  code=31; [ "$model" = legacy ] && code=1167
  check "the device gone mid-write ends with Err:$code at offset 93 (status $status)" \
    eval 'test $status -eq 1 && has "$work/gone.txt" "$response_error" &&
          has "$work/gone.txt" "(Err:$code,Offset:93)"'
  check "and the EEPROM holds three blocks only" written_up_to "$firmware/Gate.bin" 93

  device
  sim fault never 2 @3
  started=$(date +%s)
  usb_update "$work/never.txt" Gate
  took=$(( $(date +%s) - started ))
  code=31; [ "$model" = legacy ] && code=121
  check "a request that never completes ends with Err:$code in ${took} s (status $status)" \
    eval 'test $status -eq 1 && has "$work/never.txt" "(Err:$code,Offset:62)" && test $took -lt 60'
  check "and the EEPROM holds the two blocks only" written_up_to "$firmware/Gate.bin" 62
  check "and nothing is left in flight" test "$(counter pending)" = 0

  # A write that moves less than asked fails where it happens and is sent once more, as any
  # failed transfer is: once short, the block is written again and the update goes on; short
  # again, the update ends at the block's offset.
  device
  sim fault short 1 @3
  usb_update "$work/short.txt" Gate
  check "a write that moves less than asked once is written again (status $status)" \
    eval 'test $status -eq 0 && has "$work/short.txt" "successfully updated"'
  check "and the EEPROM holds the image" written_up_to "$firmware/Gate.bin" 1000
  device
  sim fault short 2 @3
  usb_update "$work/short2.txt" Gate
  check "a write that moves less than asked twice fails at its offset (status $status)" \
    eval 'test $status -eq 1 && lacks "$work/short2.txt" "successfully updated" &&
          grep -qF "Offset:62)" "$work/short2.txt"'
done

echo "== the compatibility check refuses, on the shipped program (cyusb model)"
not_compatible="Device is not compatible with firmware file."
refusal() { # refusal <reason> <image args (first vid pid text)> [reset settings...]
  local reason=$1 first=$2 vid=$3 pid=$4 text=$5; shift 5
  image Refused "$first" "$vid" "$pid" "$text"
  device "$@"
  usb_update "$work/refused.txt" Refused "${extra[@]}"
  check "refused: $reason (status $status)" \
    eval 'test $status -eq 1 && has "$work/refused.txt" "$not_compatible" &&
          has "$work/refused.txt" "($reason)" && untouched'
}
extra=()
refusal "First byte in firmware does not match" c0 04b4 8613 "Gate 1.2.3.5"
refusal "Vendor IDs do not match" c2 0547 8613 "Gate 1.2.3.5"
refusal "Product IDs do not match" c2 04b4 8614 "Gate 1.2.3.5"
refusal "Device does not support firmware update" c2 04b4 03ae "Gate 0.0.1.60" pid=03ae \
  "product=Orvane Folio Systems Gate 0.0.1.49"
refusal "Firmware file version not supported" c2 04b4 03ae "Gate 0.0.1.49" pid=03ae \
  "product=Orvane Folio Systems Gate 0.0.1.50"
extra=(--marker LF --marker HF)
refusal "HF must be in both versions" c2 04b4 8613 "Gate 1.2.3.5" \
  "product=Orvane Folio Systems Gate LF HF 1.2.3.4"

echo "== flashwright.exe's USB view on the simulated driver, driven by control identifiers"
# The driver of the window (wine_window_driver.exe) finds the frame by its title and the view's
# controls by their identifiers: the device list 1027, Begin Update 1025, the pane 1026.
if [ -z "${DISPLAY:-}" ]; then
  echo "  (no display: run from wine-tests.sh, which starts one)"
else
  window_driver=$win_build/tools/wine/wine_window_driver.exe
  new_prefix window-usb cyusb
  device
  app=$WINEPREFIX/drive_c/fwusb
  mkdir -p "$app/ezusb_fw"
  cp "$win_build/app/flashwright.exe" "$app/"
  cp "$firmware/Gate.bin" "$app/ezusb_fw/"
  timeout 300 wine 'C:\fwusb\flashwright.exe' /D USB </dev/null >"$work/window-usb.log" 2>&1 &
  window=$!
  wine_run "$work/window-list.txt" "$window_driver" wait-item 1027 Cyusb-0
  check "the USB view lists the simulated device (status $status)" test $status -eq 0
  [ $status -eq 0 ] || cat "$work/window-list.txt"
  wine_run "$work/window-usb.txt" "$window_driver" update usb
  check "Begin Update pressed from outside updates it (status $status)" \
    eval 'test $status -eq 0 && has "$work/window-usb.txt" "pane: Firmware on Cyusb-0 successfully updated." &&
          has "$work/window-usb.txt" "colour: 0 192 0"'
  check "the driver's EEPROM holds the image and nothing else changed" \
    written_up_to "$firmware/Gate.bin" 1000
  sim plugged 0
  wine_run "$work/window-unplugged.txt" "$window_driver" wait-item 1027 "(none)"
  check "the device pulled out leaves the list (status $status)" \
    eval 'test $status -eq 0 && lacks "$work/window-unplugged.txt" Cyusb-0'
  sim plugged 1
  wine_run "$work/window-plugged.txt" "$window_driver" wait-item 1027 Cyusb-0
  check "a device plugged in afterwards appears in the list (status $status)" test $status -eq 0
  wine_run "$work/window-close.txt" "$window_driver" close
  closed=$status
  set +e; wait "$window" 2>/dev/null; ended=$?; set -e
  check "the program ends when its frame is closed (status $ended)" test $closed -eq 0 -a $ended -eq 0
fi

if [ $failures -ne 0 ]; then
  echo "== $failures USB check(s) under Wine failed; the work folder was $work"
  exit 1
fi
echo "== all USB checks under Wine passed"
