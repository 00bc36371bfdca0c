#!/usr/bin/env bash
# Installs the Debian package on this machine and uses it as a technician would:
#   - the programs on the path resolve to /usr/lib/flashwright, whose firmware folders are the
#     ones in /var/lib/flashwright, writable for the group dialout;
#   - an empty, missing or unreadable firmware folder: the installed flashwright-cli says so on
#     stderr exactly as the build-folder program does (only the folder differs), and the
#     installed flashwright still starts and paints its window;
#   - a full update of the reader simulator by the installed flashwright-cli from an image
#     placed in the installed firmware folder, the simulator receiving that very image;
#   - the installed flashwright paints its window under Xvfb, readerprobe.so loads and answers,
#     "man flashwright-cli" renders, the desktop entry validates;
#   - the package removed (purged) leaves nothing behind of what "dpkg -L" listed.
# Needs root; a package left installed by an earlier run is purged first, and the package is
# never left installed.
#   package_install_test.sh <package.deb> <build folder>
set -euo pipefail
deb=$(realpath "${1:?usage: $0 <package.deb> <build folder>}")
build=$(realpath "${2:?usage: $0 <package.deb> <build folder>}")
package=flashwright
program_dir=/usr/lib/flashwright
state_dir=/var/lib/flashwright
image_name=PackageTest_4_242_1  # this test's own image: nobody else's is touched

if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: installing a package needs root"
  exit 77
fi
[ -f "$deb" ] || { echo "FAIL: $deb was not built" >&2; exit 1; }
simulator=$build/tools/reader_sim/reader-sim
probe_host=$build/tools/readerprobe_host/readerprobe-host
build_cli=$build/app/flashwright-cli
# The windowed program's test build: the shipped program's body with the hooks that save the
# pane's text and report the first paint (the shipped program has none). Placed beside the
# installed program for a run, it reads the installed firmware folder as that program does.
build_gui=$build/app/flashwright-testbuild
installed_gui_with_hooks=$program_dir/flashwright-testbuild
sample=$(ls "$build"/app/firmware/*.hex 2>/dev/null | head -n 1 || true)
for needed in "$simulator" "$probe_host" "$build_cli" "$build_gui" "$sample"; do
  [ -n "$needed" ] && [ -e "$needed" ] || { echo "FAIL: not built: ${needed:-sample image}" >&2; exit 1; }
done

# One package test at a time on this machine (other build folders run the same test).
lock_dir=/run/lock
[ -d "$lock_dir" ] || lock_dir=/tmp
exec 9>"$lock_dir/flashwright-package-test.lock"
flock 9

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
step() { echo "== $*"; }

installed() {
  local status
  status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
  [ -n "$status" ] && [ "$status" != not-installed ]
}
purge() {
  if installed; then dpkg --purge "$package" >/dev/null; fi
}

work=$(mktemp -d)
chmod 755 "$work"  # the unprivileged runs below reach into it
sim=""
cleanup() {
  set +e
  rm -f "$installed_gui_with_hooks"
  if [ -n "$sim" ]; then kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; fi
  [ -d "$state_dir/firmware.away" ] && mv "$state_dir/firmware.away" "$state_dir/firmware"
  [ -d "$state_dir/firmware" ] && chmod 2775 "$state_dir/firmware"
  rm -f "$state_dir/firmware/$image_name.hex"
  purge
  rm -rf "$work"
}
trap cleanup EXIT

step "purge what an earlier run left, install $(basename "$deb")"
purge
rm -f "$state_dir/firmware/$image_name.hex"
if ! dpkg -i "$deb" >"$work/dpkg.log" 2>&1; then
  cat "$work/dpkg.log" >&2
  echo "FAIL: dpkg -i failed (are the runtime dependencies installed?)" >&2
  exit 1
fi
grep -q 'usermod -a -G dialout NAME' "$work/dpkg.log" || fail "no note about the dialout group on install"
dpkg -L "$package" >"$work/files"

step "layout"
for program in flashwright flashwright-cli; do
  [ "$(command -v "$program")" = "/usr/bin/$program" ] || fail "$program is not on the path"
  [ "$(readlink -f "/usr/bin/$program")" = "$program_dir/$program" ] ||
    fail "/usr/bin/$program does not lead to $program_dir/$program"
done
for folder in firmware ezusb_fw; do
  [ "$(readlink -f "$program_dir/$folder")" = "$state_dir/$folder" ] ||
    fail "$program_dir/$folder does not lead to $state_dir/$folder"
  [ "$(stat -c '%G %a' "$state_dir/$folder")" = "dialout 2775" ] ||
    fail "$state_dir/$folder is $(stat -c '%U:%G %a' "$state_dir/$folder"), not group dialout 2775"
done
[ -f "$program_dir/readerprobe.so" ] || fail "readerprobe.so is not installed"
[ -z "$(ls -A "$state_dir/firmware")" ] || fail "the installed firmware folder is not empty"
ls /lib/udev/rules.d/70-flashwright-usb.rules /lib/udev/rules.d/70-flashwright-serial.rules \
  >/dev/null || fail "udev rules are not installed"
# The rule that flashwright-cli names for a USB device the user may not open is the installed one.
rule=$(grep -m 1 -aoE '/[^[:space:]"]*/70-flashwright-usb\.rules' "$program_dir/flashwright-cli" || true)
[ -n "$rule" ] && [ -f "$rule" ] || fail "flashwright-cli names the USB udev rule '$rule', which is not installed"
setpriv --reuid=nobody --regid=nogroup --groups=dialout -- touch "$program_dir/firmware/.probe" ||
  fail "a member of dialout cannot add files to the firmware folder"
rm -f "$state_dir/firmware/.probe"
if setpriv --reuid=nobody --regid=nogroup --clear-groups -- touch "$program_dir/firmware/.probe" \
     2>/dev/null; then
  fail "a user outside dialout can add files to the firmware folder"
fi
rm -f "$state_dir/firmware/.probe"
install -m 0755 "$build_gui" "$installed_gui_with_hooks"

mkdir -p "$work/ports" "$work/sysfs" "$work/wine" "$work/bare"
export FLASHWRIGHT_PORT_DIR=$work/ports FLASHWRIGHT_SYSFS=$work/sysfs WINEPREFIX=$work/wine
export XDG_RUNTIME_DIR=$work
"$simulator" --port-dir "$work/ports" --com 1 --hex-out "$work/received.hex" >"$work/sim.log" 2>&1 &
sim=$!
for _ in $(seq 50); do grep -q 'reader-sim:' "$work/sim.log" 2>/dev/null && break; sleep 0.1; done
grep -q 'reader-sim:' "$work/sim.log" || { cat "$work/sim.log" >&2; echo "FAIL: no simulator" >&2; exit 1; }

# The build-folder program, alone in a folder of its own (so with no firmware folder beside it).
cp "$build_cli" "$work/bare/flashwright-cli"
cp "$build_gui" "$work/bare/flashwright"
chmod 0755 "$work" "$work/bare"

# compare_no_firmware <case> [setpriv arguments]: both programs fail alike on the folder.
compare_no_firmware() {
  local case=$1; shift
  local run=()
  [ $# -eq 0 ] || run=(setpriv "$@" --)
  local installed_status=0 build_status=0
  "${run[@]}" flashwright-cli update --port 1 --firmware "$image_name" \
    >"$work/installed.out" 2>"$work/installed.err" || installed_status=$?
  "${run[@]}" "$work/bare/flashwright-cli" update --port 1 --firmware "$image_name" \
    >"$work/build.out" 2>"$work/build.err" || build_status=$?
  grep -q "No firmware files. Check firmware directory at $program_dir/firmware." \
    "$work/installed.err" || fail "$case: the installed program does not name its firmware folder"
  sed -i "s|$work/bare/firmware|$program_dir/firmware|g" "$work/build.err"
  if [ "$installed_status" != "$build_status" ] || [ "$installed_status" != 2 ] ||
     ! cmp -s "$work/installed.err" "$work/build.err" || [ -s "$work/installed.out" ]; then
    fail "$case: installed (status $installed_status) and build-folder (status $build_status)" \
         "programs differ:"
    diff "$work/build.err" "$work/installed.err" >&2 || true
  fi
  # The USB side reads its own folder the same way.
  local usb_status=0
  "${run[@]}" flashwright-cli usb update --device 0 --firmware "$image_name" \
    >/dev/null 2>"$work/usb.err" || usb_status=$?
  [ "$usb_status" = 2 ] &&
    grep -q "No firmware files. Check firmware directory at $program_dir/ezusb_fw." \
      "$work/usb.err" || fail "$case: usb update does not name its firmware folder"
}

# pane_says <case> [setpriv arguments]: the reader view of the installed window and of the
# build-folder window, each started with its firmware folder as the case left it, say the same
# in their message panes: that there are no firmware files in the folder they name.
pane_says() {
  local case=$1; shift
  local run=()
  [ $# -eq 0 ] || run=(setpriv "$@" --)
  local which program
  for which in installed build; do
    program=$installed_gui_with_hooks
    [ "$which" = installed ] || program=$work/bare/flashwright
    rm -rf "$work/pane-$which"
    mkdir -p "$work/pane-$which"
    chmod 0777 "$work/pane-$which"
    "${run[@]}" env FLASHWRIGHT_SCREENSHOTS="$work/pane-$which" FLASHWRIGHT_SCREENSHOT_RUN=basic \
      timeout 120 xvfb-run -a -s "-screen 0 1024x768x24" "$program" /C 1 /D RFID \
      >/dev/null 2>"$work/pane-$which.err" || true
    if [ ! -f "$work/pane-$which/basic.txt" ]; then
      cat "$work/pane-$which.err" >&2
      fail "$case: the $which window saved no message pane text"
    fi
  done
  grep -qx "No firmware files. Check firmware directory at $program_dir/firmware." \
    "$work/pane-installed/basic.txt" ||
    fail "$case: the installed window's pane says '$(cat "$work/pane-installed/basic.txt")'"
  sed "s|$work/bare/firmware|$program_dir/firmware|g" "$work/pane-build/basic.txt" \
    >"$work/pane-build.txt"
  cmp -s "$work/pane-installed/basic.txt" "$work/pane-build.txt" ||
    fail "$case: the installed window says '$(cat "$work/pane-installed/basic.txt")'," \
         "the build-folder window '$(cat "$work/pane-build.txt")'"
}

# paints [switches]: the installed window comes up under Xvfb and is painted (the test build
# beside it tells the first paint), and the installed program itself starts and keeps running.
paints() {
  local output status=0
  output=$(env FLASHWRIGHT_EXIT_AFTER_FIRST_PAINT=1 \
             timeout 120 xvfb-run -a -s "-screen 0 1024x768x24" "$installed_gui_with_hooks" \
             /C 1 "$@" 2>"$work/gui.err")
  grep -q '^first paint$' <<<"$output" || return 1
  xvfb-run -a -s "-screen 0 1024x768x24" timeout 3 flashwright /C 1 "$@" \
    >/dev/null 2>>"$work/gui.err" || status=$?
  [ "$status" = 124 ]
}

step "an empty firmware folder"
compare_no_firmware "empty folder"
mkdir "$work/bare/firmware"
pane_says "empty folder"
rmdir "$work/bare/firmware"
paints || { cat "$work/gui.err" >&2; fail "empty folder: the installed window was not painted"; }
# Without reader images the window opens on the USB view; with only the reader enabled it shows
# the reader view, whose message pane names the folder: a picture for a person to look at.
mkdir -p "$build/packaging/screenshots"
env FLASHWRIGHT_SCREENSHOTS="$build/packaging/screenshots" FLASHWRIGHT_SCREENSHOT_RUN=basic \
  timeout 120 xvfb-run -a -s "-screen 0 1024x768x24" "$installed_gui_with_hooks" /C 1 /D RFID >/dev/null 2>&1 &&
  mv "$build/packaging/screenshots/basic.png" "$build/packaging/screenshots/no-firmware.png" ||
  fail "no picture of the installed window without firmware"

step "a missing firmware folder"
mv "$state_dir/firmware" "$state_dir/firmware.away"
compare_no_firmware "missing folder"
pane_says "missing folder"
paints /D RFID || { cat "$work/gui.err" >&2; fail "missing folder: the installed window was not painted"; }
mv "$state_dir/firmware.away" "$state_dir/firmware"

step "an unreadable firmware folder (for an ordinary user)"
cp "$sample" "$program_dir/firmware/$image_name.hex"
mkdir "$work/bare/firmware"
cp "$sample" "$work/bare/firmware/$image_name.hex"
chmod 000 "$state_dir/firmware" "$work/bare/firmware"
compare_no_firmware "unreadable folder" --reuid=nobody --regid=nogroup --clear-groups
pane_says "unreadable folder" --reuid=nobody --regid=nogroup --clear-groups
chmod 2775 "$state_dir/firmware"
rm -rf "$work/bare/firmware"

step "a full update from the installed firmware folder"
rm -f "$work/received.hex"
update_status=0
flashwright-cli --json update --port 1 --firmware "$image_name" --tag-types none \
  >"$work/update.json" 2>"$work/update.err" || update_status=$?
outcome=$(grep '"event":"outcome"' "$work/update.json" || true)
if [ "$update_status" != 0 ] || ! grep -q '"status":0,"kind":"success"' <<<"$outcome"; then
  cat "$work/update.json" "$work/update.err" >&2
  fail "the installed flashwright-cli did not update the simulated reader (status $update_status)"
fi
grep -q '"pass":"program"' "$work/update.json" || fail "the update showed no programming progress"
for _ in $(seq 50); do [ -s "$work/received.hex" ] && break; sleep 0.1; done
if ! srec_cmp "$sample" -intel "$work/received.hex" -intel >"$work/cmp.log" 2>&1; then
  cat "$work/cmp.log" >&2
  fail "the simulated reader did not receive the image of the installed firmware folder"
fi

step "the installed window"
paints || { cat "$work/gui.err" >&2; fail "the installed window was not painted"; }

step "the installed installer plug-in"
probe_out=$("$probe_host" "$program_dir/readerprobe.so" 2>&1) || fail "readerprobe.so: $probe_out"
[ "$(grep -c . <<<"$probe_out")" -ge 5 ] || fail "readerprobe.so pushed too little: $probe_out"

step "manual pages, desktop entry"
for page in flashwright flashwright-cli; do
  [ "$(man -w "$page" 2>/dev/null)" = "/usr/share/man/man1/$page.1.gz" ] ||
    fail "man finds no installed page $page"
done
rendered=$(LC_ALL=C.UTF-8 MANWIDTH=80 man flashwright-cli 2>"$work/man.err" || true)
grep -q '^SYNOPSIS' <<<"$rendered" && grep -q 'usb backup' <<<"$rendered" ||
  fail "man flashwright-cli does not render: $(cat "$work/man.err")"
desktop-file-validate /usr/share/applications/flashwright.desktop ||
  fail "the installed desktop entry does not validate"
for icon in scalable/apps/flashwright.svg 48x48/apps/flashwright.png; do
  [ -s "/usr/share/icons/hicolor/$icon" ] || fail "icon $icon is not installed"
done

step "shell completion"
completion=/usr/share/bash-completion/completions/flashwright-cli
[ -s "$completion" ] || fail "no bash completion in $completion"
completed=$(bash -c 'source "$1"; COMP_WORDS=(flashwright-cli up); COMP_CWORD=1;
                     _flashwright_cli; printf "%s\n" "${COMPREPLY[@]}"' - "$completion")
[ "$completed" = update ] || fail "the installed completion gives '$completed' for 'up'"

step "remove the package"
rm -f "$installed_gui_with_hooks"
kill "$sim" 2>/dev/null || true
wait "$sim" 2>/dev/null || true
sim=""
rm -f "$state_dir/firmware/$image_name.hex"
dpkg --purge "$package" >"$work/purge.log" 2>&1 || { cat "$work/purge.log" >&2; fail "dpkg --purge failed"; }
installed && fail "the package is still installed"
left=0
while read -r path; do
  [ -e "$path" ] || [ -L "$path" ] || continue
  if [ -d "$path" ]; then
    # Folders shared with other packages (/usr/bin, ...) stay; the package's own go.
    case $path in
      "$program_dir"*|"$state_dir"*|/usr/share/doc/"$package"*) ;;
      *) continue ;;
    esac
  fi
  echo "left behind: $path" >&2
  left=$((left + 1))
done <"$work/files"
[ "$left" -eq 0 ] || fail "$left paths of the package are left after removal"
[ ! -e "$program_dir" ] && [ ! -e "$state_dir" ] || fail "$program_dir or $state_dir is left"

if [ "$failures" -gt 0 ]; then
  echo "package install: $failures problem(s)" >&2
  exit 1
fi
echo "package install: installed, used and removed without a trace ($(wc -l <"$work/files") paths)"
