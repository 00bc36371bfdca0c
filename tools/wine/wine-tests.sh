#!/usr/bin/env bash
# The Windows build under Wine against the reader simulator of the Linux build, and its USB
# side against the simulated EZ-USB kernel driver (usb-driver-tests.sh).
#   tools/wine/wine-tests.sh <Linux build folder> <Windows build folder>
# One fresh Wine prefix for the whole run; reader-sim on pseudo-terminals linked in as COM ports
# under dosdevices. Wine programs write to files, never to pipes: Wine's helper processes
# inherit a parent's pipes and keep them open.
set -euo pipefail
linux_build=$(cd "$1" && pwd)
win_build=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
sim=$linux_build/tools/reader_sim/reader-sim
cli=$win_build/app/flashwright-cli.exe

# shellcheck source=tools/wine/wine-session.sh
. "$here/wine-session.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}"/flashwright-wine.XXXXXX)
export WINEPREFIX=$work/prefix
sims=()
failures=0
xvfb_pid=""
cleanup() {
  local pid
  for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${sims[@]}"; do wait "$pid" 2>/dev/null || true; done
  end_wine_session
  if [ "$failures" -eq 0 ]; then rm -rf "$work"; else echo "== the work folder is kept: $work"; fi
}
trap cleanup EXIT

# Starts reader-sim as COM<n> of the prefix: start_sim <n> [reader-sim options...]
start_sim() {
  local com=$1; shift
  "$sim" --port-dir "$work/ports" --com "$com" \
    --link-target "$WINEPREFIX/dosdevices/com$com" "$@" >"$work/sim$com.log" 2>&1 &
  sims+=($!)
  local tries=0
  until [ -L "$WINEPREFIX/dosdevices/com$com" ]; do
    tries=$((tries + 1))
    [ $tries -lt 100 ] || { echo "reader-sim did not come up on COM$com"; cat "$work/sim$com.log"; exit 1; }
    sleep 0.05
  done
}
stop_sim() { # stop_sim <pid>: SIGTERM, then wait (the simulator writes its --hex-out then)
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

echo "== Wine prefix on a virtual display"
mkdir -p "$WINEPREFIX" "$work/ports"
start_virtual_display "$work"
boot_prefix "$work"
# Only the simulators are COM ports (Wine maps the first serial ports of the machine).
rm -f "$WINEPREFIX"/dosdevices/com*

# An image the simulator's default reader takes (bootloader 2.03, platform 0).
firmware=$work/firmware
mkdir -p "$firmware"
srec_cat -generate 0 8 -repeat-data 0x00 0xF0 0x0C 0xEF 0x00 0xF0 0x40 0x00 \
  -generate 8 0x1000 -repeat-string "Flashwright sample reader firmware. " \
  -o "$firmware/Reader_4_242_1.hex" -intel -output_block_size=16 -disable=exec-start-address

same_image() { # same_image <hex file> <hex file>: the same bytes at the same addresses
  srec_cmp "$1" -intel "$2" -intel >/dev/null 2>&1
}

echo "== the Win32 windowing backend"
wine_run "$work/window.txt" "$win_build/tools/wine/wine_window_test.exe"
if [ $status -eq 0 ]; then pass "wine_window_test ($(grep -c '^\[       OK' "$work/window.txt") cases)"
else cat "$work/window.txt"; fail "wine_window_test"; fi

echo "== reader link under Wine (COM3 reader, COM4 silent reader, COM7 missing)"
start_sim 3
start_sim 4 --fault no-answer
FLASHWRIGHT_WINE_COM=3 FLASHWRIGHT_WINE_SILENT_COM=4 FLASHWRIGHT_WINE_MISSING_COM=7 \
  wine_run "$work/link.txt" "$win_build/tools/wine/wine_link_test.exe"
if [ $status -eq 0 ]; then pass "wine_link_test ($(grep -c '^\[       OK' "$work/link.txt") cases)"
else cat "$work/link.txt"; fail "wine_link_test"; fi

echo "== the download engine under Wine (COM1 reader, COM2 in download mode, COM8 hangs up)"
mkdir -p "$work/received"
start_sim 1 --hex-out "$work/received/port1.hex"
start_sim 2 --start-in-download --hex-out "$work/received/port2.hex"
start_sim 8 --hang-up-after-records 40 --hex-out "$work/received/port8.hex"
engine_sims=("${sims[@]: -3}")
FLASHWRIGHT_WINE_UPDATE_COM=1 FLASHWRIGHT_WINE_RECOVER_COM=2 FLASHWRIGHT_WINE_HANGUP_COM=8 \
  FLASHWRIGHT_WINE_FIRMWARE="Z:$firmware" FLASHWRIGHT_WINE_IMAGE=Reader_4_242_1 \
  FLASHWRIGHT_WINE_RECEIVED="Z:$work/received" \
  wine_run "$work/engine.txt" "$win_build/tools/wine/wine_update_test.exe"
if [ $status -eq 0 ] && ! grep -q '^\[  SKIPPED' "$work/engine.txt"; then
  pass "wine_update_test ($(grep -c '^\[       OK' "$work/engine.txt") cases)"
else cat "$work/engine.txt"; fail "wine_update_test"; fi
for pid in "${engine_sims[@]}"; do stop_sim "$pid"; done

echo "== the test programs under Wine (the view tests on the Win32 backend among them)"
set +e
(cd "$win_build" && ctest -j2 --output-on-failure >"$work/ctest.txt" 2>&1)
ctest_status=$?
set -e
if [ $ctest_status -eq 0 ]; then pass "$(grep 'tests passed' "$work/ctest.txt")"
else cat "$work/ctest.txt"; fail "ctest in $win_build"; fi

echo "== flashwright-cli.exe"
wine_run "$work/info.txt" "$cli" info --port 3
check "info on COM3 shows the simulated reader" grep -q "4.241.8" "$work/info.txt"
wine_run "$work/info-missing.txt" "$cli" info --port 12
check "info on a missing port fails (status $status)" test $status -eq 3
# The same words as the Linux build, which sees the same simulators through the port folder.
same_as_linux() { # same_as_linux <Wine output> <flashwright-cli arguments...>
  local out=$1; shift
  FLASHWRIGHT_PORT_DIR=$work/ports "$linux_build/app/flashwright-cli" "$@" >"$out.linux" 2>&1 || true
  if diff -u "$out.linux" "$out" >"$out.diff"; then return 0; fi
  cat "$out.diff"
  return 1
}
check "info on COM3 says what the Linux build says" same_as_linux "$work/info.txt" info --port 3
check "info on a missing port says what the Linux build says" \
  same_as_linux "$work/info-missing.txt" info --port 12
lacks() { ! grep -q "$@"; }
wine_run "$work/version.txt" "$cli" --version
project_version=$(sed -n 's/^project(flashwright VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
check "--version names the build's version $project_version" \
  grep -qx "flashwright-cli $project_version" "$work/version.txt"
check "--version says what the Linux build says" same_as_linux "$work/version.txt" --version
wine_run "$work/com3.txt" "$cli" info --port COM3
check "--port COM3 is COM 3" same_as_linux "$work/com3.txt" info --port 3
wine_run "$work/device-path.txt" "$cli" info --port '\\.\COM3'
check "--port \\\\.\\COM3 is COM 3" diff -u "$work/info.txt" "$work/device-path.txt"
wine_run "$work/trace.txt" "$cli" -v info --port 3
check "-v traces the opening of COM3" grep -Eq '^wire +[0-9.]+ ms open +COM3 COM3$' "$work/trace.txt"
check "-v traces the purges" grep -Eq '^wire +[0-9.]+ ms purge +input$' "$work/trace.txt"
check "-v shows no bytes" lacks -E '^wire .* (write|read) ' "$work/trace.txt"
wine_run "$work/trace2.txt" "$cli" -vv info --port 3
check "-vv traces the version query frame" \
  grep -Eq '^wire +[0-9.]+ ms write +D5 00 05 04 00 11 8C 66$' "$work/trace2.txt"
check "-vv traces the reply" grep -Eq '^wire +[0-9.]+ ms read +D5 ' "$work/trace2.txt"
check "-v does not change what info says" grep -q "4.241.8" "$work/trace.txt"

# A full update: the simulator's copy of the image equals the file.
stop_sim "${sims[0]}"
start_sim 3 --hex-out "$work/written.hex"
wine_run "$work/update.txt" "$cli" -q update --port 3 --firmware-dir "Z:$firmware" \
  --firmware Reader_4_242_1 --tag-types none
check "update succeeds (status $status)" test $status -eq 0
check "-q prints no progress lines" lacks -E "Line:|Initializing|in progress" "$work/update.txt"
check "-q prints the outcome" grep -q "successfully updated" "$work/update.txt"
stop_sim "${sims[-1]}"
check "the reader holds the image that was sent" same_image "$work/written.hex" "$firmware/Reader_4_242_1.hex"

# The line hangs up in the middle of the download; a recover run then completes it.
start_sim 3 --hang-up-after-records 40 --hex-out "$work/recovered.hex"
wine_run "$work/hangup.txt" "$cli" update --port 3 --firmware-dir "Z:$firmware" \
  --firmware Reader_4_242_1 --tag-types none
check "a hang-up mid-download fails the update (status $status)" test $status -ne 0
check "and says so" grep -qi "error" "$work/hangup.txt"
wine_run "$work/recover.txt" "$cli" update --recover --port 3 --firmware-dir "Z:$firmware" \
  --firmware Reader_4_242_1 --tag-types none
check "the recover run succeeds (status $status)" test $status -eq 0
stop_sim "${sims[-1]}"
check "after recovery the reader holds the image" same_image "$work/recovered.hex" "$firmware/Reader_4_242_1.hex"

echo "== flashwright.exe driven from outside by its title and control identifiers"
# The program beside its firmware folder, as the installer puts it; the driver finds the frame
# by its title, presses Begin Update (1001) with BM_CLICK, follows the progress bar (1003) and
# reads the message pane (1000). Wine knows COM1 to COM9 as ports whether linked or not, and
# higher numbers only when linked.
driver=$win_build/tools/wine/wine_window_driver.exe
place_program() { # place_program <folder under C:\> [image...]
  local dir=$WINEPREFIX/drive_c/$1; shift
  mkdir -p "$dir"
  cp "$win_build/app/flashwright.exe" "$dir/"
  [ $# -eq 0 ] || { mkdir -p "$dir/firmware"; cp "$@" "$dir/firmware/"; }
}
window_pid=""
start_window() { # start_window <log> <program> [switches...]
  local log=$1; shift
  timeout 300 wine "$@" </dev/null >"$log" 2>&1 &
  window_pid=$!
}
end_window() { # closes the frame from outside and waits for the program to end
  wine_run "$work/close.txt" "$driver" close
  local closed=$status
  wait "$window_pid" 2>/dev/null
  local ended=$?
  [ $closed -eq 0 ] || cat "$work/close.txt"
  [ $closed -eq 0 ] && [ $ended -eq 0 ]
}
field() { sed -n "s/^$1: //p" "$2"; }
# The bar moved: it passed through positions strictly between 0 and 100, rising between resets.
bar_moved() {
  python3 - "$1" <<'PY'
import sys
line = [l for l in open(sys.argv[1]) if l.startswith("progress:")]
values = [int(v) for v in line[0].split()[1:]] if line else []
inner = [v for v in values if 0 < v < 100]
runs, run = [], []
for v in values:
    if v == 0:
        if run: runs.append(run)
        run = []
    else:
        run.append(v)
if run: runs.append(run)
sys.exit(0 if len(inner) >= 3 and all(a < b for r in runs for a, b in zip(r, r[1:])) else 1)
PY
}
place_program fwapp "$firmware/Reader_4_242_1.hex"
error_colour="192 0 0"
success_colour="0 192 0"

start_sim 3 --hex-out "$work/window-written.hex"
start_window "$work/window-update.log" 'C:\fwapp\flashwright.exe' /C 3 /F Reader_4_242_1
wine_run "$work/window-update.txt" "$driver" update reader
check "Begin Update pressed from outside runs the update (status $status)" test $status -eq 0
[ $status -eq 0 ] || cat "$work/window-update.txt"
check "the progress bar moves" bar_moved "$work/window-update.txt"
check "the pane says the update succeeded, on green" eval \
  '[[ "$(field pane "$work/window-update.txt")" == "Reader firmware on COM 3 successfully updated."* ]] &&
   test "$(field colour "$work/window-update.txt")" = "$success_colour"'
check "the program ends when its frame is closed" end_window
stop_sim "${sims[-1]}"
check "the reader holds exactly the image" same_image "$work/window-written.hex" \
  "$firmware/Reader_4_242_1.hex"

start_sim 3 --hang-up-after-records 40 --hex-out "$work/window-recovered.hex"
start_window "$work/window-retry.log" 'C:\fwapp\flashwright.exe' /C 3 /F Reader_4_242_1
wine_run "$work/window-retry.txt" "$driver" update reader yes
check "a hang-up mid-download, answered Yes, runs again (status $status)" test $status -eq 0
[ $status -eq 0 ] || cat "$work/window-retry.txt"
box=$(field box "$work/window-retry.txt")
check "one box: the failure with its error and line, then \"Try again?\"" eval \
  'test "$(field boxes "$work/window-retry.txt")" = 1 &&
   [[ "$box" == "Reader update on COM 3 failed. Check reader power and serial cables.\n(Err:"* ]] &&
   [[ "$box" == *"\n\nTry again?" ]] && test "$(field "box caption" "$work/window-retry.txt")" = Flashwright'
check "the recover run succeeds" eval \
  '[[ "$(field pane "$work/window-retry.txt")" == "Reader firmware on COM 3 successfully updated."* ]] &&
   test "$(field colour "$work/window-retry.txt")" = "$success_colour"'
check "the program ends when its frame is closed" end_window
stop_sim "${sims[-1]}"
check "after the recover run the reader holds exactly the image" same_image \
  "$work/window-recovered.hex" "$firmware/Reader_4_242_1.hex"

# The frame is exactly its form below the menu bar, in each view it switches to: Advanced
# (32772), the USB device (32777) and back to the reader (32776).
fits() { # fits <reader|usb> [command id first]
  if [ -n "${2:-}" ]; then wine_run "$work/window-command.txt" "$driver" command "$2" || return 1; fi
  wine_run "$work/window-fit.txt" "$driver" fit "$1"
  [ $status -eq 0 ] || cat "$work/window-fit.txt"
  [ $status -eq 0 ]
}
start_sim 3
start_window "$work/window-fit.log" 'C:\fwapp\flashwright.exe' /C 3
check "the frame's client area is the reader view's form, no more" fits reader
check "in the advanced view too" fits reader 32772
check "the USB view's form after the switch" fits usb 32777
check "the reader view's form after switching back" fits reader 32776
check "the program ends when its frame is closed" end_window
stop_sim "${sims[-1]}"

# Bad input: the texts and colours of the Linux build's view tests.
pane_is() { # pane_is <expected text> <expected colour> <program> [switches...]
  local text=$1 colour=$2; shift 2
  start_window "$work/window-pane.log" "$@"
  wine_run "$work/window-pane.txt" "$driver" pane reader
  local seen; seen=$(field pane "$work/window-pane.txt")
  local drawn; drawn=$(field colour "$work/window-pane.txt")
  end_window || return 1
  [ "$seen" = "$text" ] && [ "$drawn" = "$colour" ] && return 0
  echo "    pane: $seen ($drawn)"
  return 1
}
check "a COM port that does not exist" pane_is \
  "COM 17 does not exist. Select a different COM port using Advanced View." "$error_colour" \
  'C:\fwapp\flashwright.exe' /C 17
check "an image that is not in the folder" pane_is \
  'Firmware file Missing not found. Check firmware directory at C:\fwapp\firmware.' \
  "$error_colour" 'C:\fwapp\flashwright.exe' /F Missing
place_program fwbare
check "no firmware folder" pane_is \
  'No firmware files. Check firmware directory at C:\fwbare\firmware.' "$error_colour" \
  'C:\fwbare\flashwright.exe' /D
place_program fwempty
mkdir -p "$WINEPREFIX/drive_c/fwempty/firmware"
check "an empty firmware folder" pane_is \
  'No firmware files. Check firmware directory at C:\fwempty\firmware.' "$error_colour" \
  'C:\fwempty\flashwright.exe' /D

echo "== the sibling product's configuration"
start_sim 5
ravelin_xml="$WINEPREFIX/drive_c/ProgramData/Halvern/Common/Ravelin"
mkdir -p "$ravelin_xml"
discovery() { # discovery <name>: the port and source flashwright-cli.exe ports finds
  wine_run "$work/$1.txt" "$cli" --json ports
  python3 - "$work/$1.txt" <<'PY'
import json, sys
for line in open(sys.argv[1]):
    line = line.strip()
    if not line.startswith("{"):
        continue
    event = json.loads(line)
    if event.get("event") == "discovery":
        print(f'{event["port"]}|{event["source"]}|{event["result"]}')
PY
}
cat >"$ravelin_xml/1.00.xml" <<'XML'
<?xml version="1.0"?>
<config><values><value name="ReaderType" dw="1"/><value name="ConnectMethod" dw="1"/>
<value name="Port" dw="5"/></values></config>
XML
check "the XML file names COM5" test "$(discovery xml)" = "5|Ravelin Xml|0"
# Current Windows has no MSXML 4.0: with it refused, the 6.0 document object reads the file.
check "with the MSXML 4.0 document object refused the XML file is still found" \
  test "$(export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;msxml4=d"; discovery xml-msxml6)" = "5|Ravelin Xml|0"
echo "this is < not XML" >"$ravelin_xml/1.00.xml"
cat >"$work/ravelin.reg" <<'REG'
REGEDIT4

[HKEY_LOCAL_MACHINE\SOFTWARE\Orvane\Folio Systems\Common\Ravelin\1.00]
"Port"=dword:00000005

[HKEY_LOCAL_MACHINE\SOFTWARE\Orvane\Folio Systems\Common\Ravelin\2.00]
"Port"=hex:05,00,00,00,00,00,00,00
REG
wine_run "$work/regedit.txt" regedit /S "Z:$work/ravelin.reg"
check "a file that is not XML passes on to the registry, whose 8-byte value is passed over" \
  test "$(discovery registry)" = "5|Ravelin Reg 1.00|0"
cat >"$work/ravelin2.reg" <<'REG'
REGEDIT4

[HKEY_LOCAL_MACHINE\SOFTWARE\Orvane\Folio Systems\Common\Ravelin\1.00]
"Port"="5"
REG
wine_run "$work/regedit2.txt" regedit /S "Z:$work/ravelin2.reg"
check "a string value is taken as its first four bytes, as on Linux: \"5\" is port 53" \
  test "$(discovery registry-string)" = "53|Ravelin Reg 1.00|-9"

echo "== the sibling product's registry key in a 64-bit prefix"
# The 32-bit program sees the registry there as on 64-bit Windows: the key is looked up once
# in the 32-bit view and once in the machine's own.
prefix32=$WINEPREFIX
# Every Wine program of this section runs in the 64-bit prefix, which Wine refuses to use
# with the 32-bit architecture the rest of the script asks for.
export WINEPREFIX=$work/prefix64 WINEARCH=win64
mkdir -p "$WINEPREFIX"
wineboot -i >"$work/wineboot64.log" 2>&1
rm -f "$WINEPREFIX"/dosdevices/com*
start_sim 8
ravelin_key='HKLM\SOFTWARE\Orvane\Folio Systems\Common\Ravelin'
reg_port() { # reg_port <32|64> <subkey> <port>
  wine_run "$work/reg.txt" reg add "$ravelin_key\\$2" /v Port /t REG_DWORD /d "$3" /f "/reg:$1"
}
reg_port 32 1.00 8
check "only in the 32-bit view: found there" \
  test "$(discovery reg64-32)" = "8|Ravelin Reg 1.00|0"
wine_run "$work/reg.txt" reg delete "$ravelin_key" /f /reg:32
reg_port 64 2.00 8
check "only in the native view: found there" \
  test "$(discovery reg64-native)" = "8|Ravelin Reg 2.00|0"
reg_port 32 1.00 8
reg_port 64 2.00 7
check "in both views: the 32-bit one first" \
  test "$(discovery reg64-both)" = "8|Ravelin Reg 1.00|0"
reg_port 32 1.00 0
reg_port 64 2.00 8
check "in both views, no port in the 32-bit one: the native one's" \
  test "$(discovery reg64-fallback)" = "8|Ravelin Reg 2.00|0"
stop_sim "${sims[-1]}"
wineserver -k 2>/dev/null || true
export WINEPREFIX=$prefix32 WINEARCH=win32

echo "== installer"
mkdir -p "$work/usb_fw"
makensis -V2 -DBUILD_DIR="$win_build" -DFIRMWARE_DIR="$firmware" -DUSB_FIRMWARE_DIR="$work/usb_fw" \
  -DOUT_FILE="$work/flashwright-setup.exe" "$root/installer/flashwright.nsi" >"$work/makensis.txt"
wine_run "$work/install.txt" "$work/flashwright-setup.exe" /S '/D=C:\Flashwright'
log="$WINEPREFIX/drive_c/Flashwright/detect-reader.log"
check "silent install (status $status)" test $status -eq 0
check "installed files" test -f "$WINEPREFIX/drive_c/Flashwright/flashwright-cli.exe" \
  -a -f "$WINEPREFIX/drive_c/Flashwright/flashwright.exe" -a -f "$WINEPREFIX/drive_c/Flashwright/readerprobe.dll" \
  -a -f "$WINEPREFIX/drive_c/Flashwright/firmware/Reader_4_242_1.hex"
expected=$(printf '1:0\r\n2:0\r\n3:No device!\r\n4:NA\r\n5:0\r\n')
check "no USB reader: pushes 0, 0, No device!, NA, 0" test "$(cat "$log")" = "$expected"
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Flashwright/Flashwright.lnk"
check "Start-menu shortcut" test -f "$shortcut"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Flashwright'
wine_run "$work/uninstall-entry.txt" reg query "$uninstall_key" /reg:32
version=$(sed -n 's/^project(flashwright VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
entry_has() { grep -Eq "^ +$1 +REG_[A-Z_]+ +$2\$" "$work/uninstall-entry.txt"; }
check "uninstall entry: name, version $version, publisher, uninstall command, size" \
  eval 'entry_has DisplayName Flashwright && entry_has DisplayVersion "$version" &&
        entry_has Publisher "Flashwright developers" &&
        entry_has UninstallString "\"C:\\\\Flashwright\\\\uninstall.exe\"" &&
        entry_has EstimatedSize "0x[0-9a-f]+"'
# A technician's own image in the folder survives the uninstaller; the shipped one does not.
installed=$WINEPREFIX/drive_c/Flashwright
echo ":00000001FF" >"$installed/firmware/Technician_9_1_1.hex"
wine_run "$work/uninstall.txt" 'C:\Flashwright\uninstall.exe' /S
# The uninstaller runs from a copy of itself and returns at once.
for _ in $(seq 120); do [ -e "$installed/uninstall.exe" ] || break; sleep 0.25; done
check "silent uninstall removes the programs, the plug-in and the shipped image" \
  test ! -e "$installed/flashwright-cli.exe" -a ! -e "$installed/readerprobe.dll" \
  -a ! -e "$installed/uninstall.exe" -a ! -e "$installed/firmware/Reader_4_242_1.hex"
check "and leaves the technician's image" test -f "$installed/firmware/Technician_9_1_1.hex"
check "the shortcut is gone" test ! -e "$shortcut"
wine_run "$work/uninstall-entry-after.txt" reg query "$uninstall_key" /reg:32
check "the uninstall entry is gone (status $status)" test $status -ne 0

makensis -V2 -DBUILD_DIR="$win_build" -DPLUGIN_DIR="$win_build/tools/wine/fake_setup" \
  -DFIRMWARE_DIR="$firmware" -DUSB_FIRMWARE_DIR="$work/usb_fw" \
  -DOUT_FILE="$work/flashwright-setup-reader.exe" "$root/installer/flashwright.nsi" >>"$work/makensis.txt"
start_sim 6 --bootloader 0204 --power-class 1 --power-level 2
FLASHWRIGHT_FAKE_READER_COM=6 wine_run "$work/install2.txt" "$work/flashwright-setup-reader.exe" \
  /S '/D=C:\FlashwrightReader'
log="$WINEPREFIX/drive_c/FlashwrightReader/detect-reader.log"
expected=$(printf '1:1\r\n2:6\r\n3:4.241.8*\r\nBootloader:2.04\r\nPlatform:520/530\r\n4:200mW\r\n5:42418\r\n')
check "USB reader on COM6: its port, version text, power text and version number" \
  test "$(cat "$log")" = "$expected"
[ "$(cat "$log")" = "$expected" ] || cat -A "$log"

echo "== USB devices: the simulated kernel driver, each test group in a prefix of its own"
if ! "$here/usb-driver-tests.sh" "$win_build"; then fail "the USB checks under Wine"; fi

if [ $failures -ne 0 ]; then
  echo "== $failures Wine check(s) failed; the work folder was $work"
  exit 1
fi
echo "== all Wine checks passed"
