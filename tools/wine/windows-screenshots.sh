#!/usr/bin/env bash
# Screenshots of the Windows window under Wine on a virtual display: the basic view, the
# advanced view, an update in progress and its success against the reader simulator, and the
# USB view listing the simulated EZ-USB device of the simulated kernel driver.
#   tools/wine/windows-screenshots.sh <Linux build folder> <Windows build folder> <outdir>
# The test build of the program (flashwright-testbuild.exe) takes the pictures of its own window
# and fails when one of them is blank, as on Linux (tools/screenshots.sh).
set -euo pipefail
linux_build=$(cd "${1:?usage: $0 <Linux build> <Windows build> <outdir>}" && pwd)
win_build=$(cd "${2:?usage: $0 <Linux build> <Windows build> <outdir>}" && pwd)
out=${3:?usage: $0 <Linux build> <Windows build> <outdir>}
mkdir -p "$out"
out=$(cd "$out" && pwd)
program=$win_build/app/flashwright-testbuild.exe
sim=$linux_build/tools/reader_sim/reader-sim
ctl=$win_build/tools/wine/ezusb_sim_ctl.exe
driver=$win_build/tools/wine/ezusb_sim.sys
for file in "$program" "$sim" "$ctl" "$driver"; do
  [ -e "$file" ] || { echo "windows-screenshots: $file is not built" >&2; exit 1; }
done

# shellcheck source=tools/wine/wine-session.sh
. "$(dirname "$0")/wine-session.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}"/flashwright-wine-shots.XXXXXX)
export WINEPREFIX=$work/prefix
sim_pid=""
xvfb_pid=""
cleanup() {
  stop_process "$sim_pid"
  end_wine_session
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$WINEPREFIX" "$work/ports"
start_virtual_display "$work"
boot_prefix "$work"

# The simulated EZ-USB driver as a Plug and Play device, which Wine starts with the wineserver.
cp "$driver" "$WINEPREFIX/drive_c/windows/system32/drivers/ezusb_sim.sys"
wine sc create ezusb_sim type= kernel start= demand \
  binPath= 'C:\windows\system32\drivers\ezusb_sim.sys' </dev/null >"$work/sc.log" 2>&1
wineserver -k; wineserver -w 2>/dev/null || true
wineserver -p >>"$work/wineserver.log" 2>&1
wine "$ctl" add-pnp-device </dev/null >"$work/ctl.log" 2>&1
wineserver -k; wineserver -w 2>/dev/null || true
wineserver -p >>"$work/wineserver.log" 2>&1
# Only the simulator is a COM port (Wine maps the machine's first serial ports as it starts).
wine reg query 'HKCU\Software\Wine' </dev/null >/dev/null 2>&1 || true
rm -f "$WINEPREFIX"/dosdevices/com*

# The program beside its firmware folders, as the installer puts it.
app=$WINEPREFIX/drive_c/Flashwright
mkdir -p "$app/firmware" "$app/ezusb_fw"
cp "$program" "$app/"
srec_cat -generate 0 8 -repeat-data 0x00 0xF0 0x0C 0xEF 0x00 0xF0 0x40 0x00 \
  -generate 8 0x1000 -repeat-string "Flashwright sample reader firmware. " \
  -o "$app/firmware/Reader_4_242_1.hex" -intel -output_block_size=16 -disable=exec-start-address
python3 - "$app/ezusb_fw/Gate.bin" <<'PY'
import sys
data = bytearray(((i * 7 + (i >> 8) + 3) & 0xFF) for i in range(1000))
data[0:5] = bytes([0xC2, 0xB4, 0x04, 0x13, 0x86])
marker = "Orvane Folio Systems Gate 1.2.3.5".encode("utf-16-le") + b"\0\0"
data[64:64 + len(marker)] = marker
open(sys.argv[1], "wb").write(data)
PY

"$sim" --port-dir "$work/ports" --com 1 --link-target "$WINEPREFIX/dosdevices/com1" \
  >"$work/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do [ -L "$WINEPREFIX/dosdevices/com1" ] && break; sleep 0.05; done

shots='Z:'$out
run() { # run <picture run> [environment...] -- [switches...]
  local kind=$1; shift
  local environment=()
  while [ $# -gt 0 ] && [ "$1" != -- ]; do environment+=("$1"); shift; done
  shift
  env "${environment[@]}" FLASHWRIGHT_SCREENSHOTS="$shots" FLASHWRIGHT_SCREENSHOT_RUN="$kind" \
    timeout 180 wine 'C:\Flashwright\flashwright-testbuild.exe' "$@" </dev/null \
    >"$work/run-$kind.log" 2>&1 || { cat "$work/run-$kind.log" >&2; return 1; }
}

rm -f "$out"/basic.png "$out"/advanced.png "$out"/progress.png "$out"/success.png "$out"/usb.png
run basic -- /C 1
run update FLASHWRIGHT_START_ADVANCED=1 -- /C 1
# The device comes up with the device host, a moment after the server.
for _ in $(seq 40); do
  wine "$ctl" reset </dev/null >"$work/ctl.log" 2>&1 && break
  sleep 0.25
done
wine "$ctl" legacy 0 </dev/null >>"$work/ctl.log" 2>&1
run usb FLASHWRIGHT_START_ADVANCED=1 -- /D USB
for picture in basic advanced progress success usb; do
  if [ ! -s "$out/$picture.png" ]; then
    echo "windows-screenshots: $out/$picture.png is missing" >&2
    exit 1
  fi
done
echo "windows-screenshots: basic, advanced, progress, success and usb in $out"
