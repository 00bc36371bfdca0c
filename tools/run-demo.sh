#!/usr/bin/env bash
# The program's main job on a simulated reader: a reader simulator on COM1 of a temporary port
# folder, and then
#   with a display ($DISPLAY or $WAYLAND_DISPLAY): the Flashwright window on that port, with the
#     sample firmware folder beside the program, ready for "Begin Update", and beside it the USB
#     view on a simulated EZ-USB device (flashwright-usbsim, when it is built);
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

# A simulated EZ-USB device whose EEPROM takes its real write time, and an image for it.
usb_devices() {
  local dir=$ports/usb
  "$(dirname "$0")/usb-sample-image.sh" "$dir/ezusb_fw/FolioGate_1235.bin"
  printf 'device cyusb 0\nproduct Orvane Folio Systems Gate 1.2.3.4\neeprom %s\nreal-time\n' \
    "$dir/eeprom0.bin" > "$dir/devices.txt"
  export FLASHWRIGHT_USBSIM=$dir/devices.txt
}

usb_demo() {
  local dir=$ports/usb
  usb_devices
  echo
  echo "flashwright-cli usb list (a simulated EZ-USB device)"
  "$build/app/flashwright-cli-usbsim" usb list
  echo
  echo "flashwright-cli usb update --device 0 --firmware FolioGate_1235"
  "$build/app/flashwright-cli-usbsim" usb update --device 0 --firmware FolioGate_1235 \
    --firmware-dir "$dir/ezusb_fw"
}

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$build/app/flashwright" ]; then
  usb_window=""
  if [ -x "$build/app/flashwright-usbsim" ]; then
    # The USB view in a second window, on a simulated EZ-USB device, with the sample image in
    # the folder beside the program ($build/app/ezusb_fw).
    usb_devices
    echo "Flashwright on a simulated EZ-USB device (USB firmware folder: $build/app/ezusb_fw)"
    "$build/app/flashwright-usbsim" /D USB &
    usb_window=$!
  fi
  echo "Flashwright on the simulated reader at COM1 (firmware folder: $build/app/firmware)"
  "$build/app/flashwright" /C 1
  if [ -n "$usb_window" ]; then wait "$usb_window" || true; fi
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
