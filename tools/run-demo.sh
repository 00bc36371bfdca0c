#!/usr/bin/env bash
# The program's main job on a simulated reader: a reader simulator on COM1 of a temporary port
# folder, and then
#   with a display ($DISPLAY or $WAYLAND_DISPLAY): the Flashwright window on that port, with the
#     sample firmware folder beside the program, ready for "Begin Update";
#   without one: a terminal update with flashwright-cli when it is built, else what the reader
#     link reads from the simulated reader; then, when flashwright-cli-usbsim is built, the USB
#     side on a simulated EZ-USB device (usb list and usb update).
set -euo pipefail
build=${1:-build}
ports=$(mktemp -d)
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; rm -rf "$ports"' EXIT
export FLASHWRIGHT_PORT_DIR=$ports
"$build/tools/reader_sim/reader-sim" --port-dir "$ports" --com 1 > "$ports/sim.log" &
sim=$!
for _ in $(seq 50); do grep -q 'reader-sim:' "$ports/sim.log" 2>/dev/null && break; sleep 0.1; done

# Text as UTF-16LE, as USB images carry their product text.
utf16() { local text=$1 i; for ((i = 0; i < ${#text}; i++)); do printf '%s\0' "${text:i:1}"; done; }

# A simulated EZ-USB device whose EEPROM takes its real write time, and an image for it.
usb_demo() {
  local dir=$ports/usb
  mkdir -p "$dir/ezusb_fw"
  {
    printf '\xc2\xb4\x04\x13\x86'  # first byte C2, vendor 04B4, product 8613
    utf16 "Orvane Folio Systems"; printf ' \0'; utf16 "Gate 1.2.3.5"; printf '\0\0'
    head -c 4000 /dev/zero | tr '\0' '\125'
  } > "$dir/ezusb_fw/FolioGate_1235.bin"
  printf 'device cyusb 0\nproduct Orvane Folio Systems Gate 1.2.3.4\neeprom %s\nreal-time\n' \
    "$dir/eeprom0.bin" > "$dir/devices.txt"
  export FLASHWRIGHT_USBSIM=$dir/devices.txt
  echo
  echo "flashwright-cli usb list (a simulated EZ-USB device)"
  "$build/app/flashwright-cli-usbsim" usb list
  echo
  echo "flashwright-cli usb update --device 0 --firmware FolioGate_1235"
  "$build/app/flashwright-cli-usbsim" usb update --device 0 --firmware FolioGate_1235 \
    --firmware-dir "$dir/ezusb_fw"
}

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$build/app/flashwright" ]; then
  echo "Flashwright on the simulated reader at COM1 (firmware folder: $build/app/firmware)"
  "$build/app/flashwright" /C 1
elif [ -x "$build/app/flashwright-cli" ]; then
  sample=$(ls "$build/app/firmware"/*.hex 2>/dev/null | head -n 1)
  if [ -z "$sample" ]; then
    echo "run-demo: no sample firmware in $build/app/firmware" >&2
    exit 1
  fi
  sample=$(basename "$sample" .hex)
  echo "flashwright-cli update --port 1 --firmware $sample (simulated reader at COM1)"
  "$build/app/flashwright-cli" update --port 1 --firmware "$sample"
  if [ -x "$build/app/flashwright-cli-usbsim" ]; then usb_demo; fi
else
  "$build/tools/reader_info/reader-info" 1
fi
