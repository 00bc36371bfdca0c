#!/usr/bin/env bash
# Screenshots of the real windowed program under a virtual X display, against the reader
# simulator: the basic view, the advanced view, an update in progress and its success; and the
# USB view of flashwright-usbsim (the same program on a simulated EZ-USB device).
#   tools/screenshots.sh <builddir> <outdir>
# The program takes the pictures of its own window (test hook FLASHWRIGHT_SCREENSHOTS) and
# fails when one of them is blank; this script fails when the program does or a picture is
# missing.
set -euo pipefail
build=${1:?usage: $0 <builddir> <outdir>}
out=${2:?usage: $0 <builddir> <outdir>}
program="$build/app/flashwright-testbuild"
simulator="$build/tools/reader_sim/reader-sim"
if [ ! -x "$program" ] || [ ! -x "$simulator" ]; then
  echo "screenshots: $program or $simulator is not built" >&2
  exit 1
fi
mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d)
sim=""
cleanup() {
  if [ -n "$sim" ]; then kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/ports" "$work/sysfs" "$work/wine"
# No real adapters and no sibling configuration take part.
export FLASHWRIGHT_PORT_DIR="$work/ports" FLASHWRIGHT_SYSFS="$work/sysfs" WINEPREFIX="$work/wine"
export XDG_RUNTIME_DIR="$work"
# The reader takes its wire time for every byte, as a real one does: the update then lasts a few
# seconds, and the progress picture is taken on the way even on a busy machine.
"$simulator" --port-dir "$work/ports" --com 1 --paced > "$work/sim.log" 2>&1 &
sim=$!
for _ in $(seq 50); do grep -q 'reader-sim:' "$work/sim.log" 2>/dev/null && break; sleep 0.1; done

run() { # run <picture run> [environment...]
  local kind=$1; shift
  env "$@" FLASHWRIGHT_SCREENSHOTS="$out" FLASHWRIGHT_SCREENSHOT_RUN="$kind" \
    timeout 120 xvfb-run -a -s "-screen 0 1024x768x24" "$program" /C 1
}

# The USB view on a simulated device, with the sample image that the build puts beside the
# program.
usb_run() {
  local usbsim="$build/app/flashwright-usbsim" dir="$work/usb"
  if [ ! -x "$usbsim" ]; then
    echo "screenshots: $usbsim is not built" >&2
    exit 1
  fi
  mkdir -p "$dir"
  printf 'device cyusb 0\nproduct Orvane Folio Systems Gate 1.2.3.4\n' > "$dir/devices.txt"
  FLASHWRIGHT_USBSIM="$dir/devices.txt" FLASHWRIGHT_SCREENSHOTS="$out" \
    FLASHWRIGHT_SCREENSHOT_RUN=usb FLASHWRIGHT_START_ADVANCED=1 \
    timeout 120 xvfb-run -a -s "-screen 0 1024x768x24" "$usbsim" /D USB
}

rm -f "$out"/basic.png "$out"/advanced.png "$out"/progress.png "$out"/success.png "$out"/usb.png
run basic
run update FLASHWRIGHT_START_ADVANCED=1
usb_run
for picture in basic advanced progress success usb; do
  if [ ! -s "$out/$picture.png" ]; then
    echo "screenshots: $out/$picture.png is missing" >&2
    exit 1
  fi
done
echo "screenshots: basic, advanced, progress, success and usb in $out"
