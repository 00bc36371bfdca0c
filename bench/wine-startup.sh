#!/usr/bin/env bash
# Start-up under Wine on a virtual display: from the start of the program to its first painted
# window, the windowed program (flashwright-testbuild.exe with FLASHWRIGHT_EXIT_AFTER_FIRST_PAINT,
# beside its firmware folder, a simulated reader on COM1) against a bare Win32 window
# (bench_bare_window.exe), alternately in one prefix, as the ratio of the medians. Beside them
# the design's window alone (startup-form-floor.exe: frame, basic menu bar and reader form
# through the windowing layer, without the program), which tells what Wine's dialog manager and
# controls cost to show that window from the program's own share.
# Wine's system processes (services, device host, desktop) end with the prefix's last program
# and start again with the next one; a waiting console program holds them for the whole run,
# so that neither program's time includes starting them (as on Windows, where they are
# always there) and they are not remade between the runs.
#   bench/wine-startup.sh <Linux build folder> <Windows build folder> [runs]
set -euo pipefail
linux_build=$(cd "$1" && pwd)
win_build=$(cd "$2" && pwd)
runs=${3:-9}
sim=$linux_build/tools/reader_sim/reader-sim
# shellcheck source=tools/wine/wine-session.sh
. "$(dirname "$0")/../tools/wine/wine-session.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}"/flashwright-wine-bench.XXXXXX)
export WINEPREFIX=$work/prefix
sim_pid=""
xvfb_pid=""
holder_pid=""
cleanup() {
  stop_process "$holder_pid"
  stop_process "$sim_pid"
  end_wine_session
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$WINEPREFIX" "$work/ports"
start_virtual_display "$work"
boot_prefix "$work"
# The holder: cmd's pause, waiting on a pipe that stays open until the cleanup.
mkfifo "$work/hold"
wine cmd /c pause <"$work/hold" >"$work/holder.log" 2>&1 &
holder_pid=$!
exec 4>"$work/hold"
for _ in $(seq 200); do grep -q . "$work/holder.log" 2>/dev/null && break; sleep 0.05; done
# Only the simulator is a COM port (the device host maps the machine's serial ports as it starts).
rm -f "$WINEPREFIX"/dosdevices/com*

app=$WINEPREFIX/drive_c/Flashwright
mkdir -p "$app/firmware"
cp "$win_build/app/flashwright-testbuild.exe" "$win_build/bench/bench_bare_window.exe" \
  "$win_build/bench/startup-form-floor.exe" "$app/"
srec_cat -generate 0 8 -repeat-data 0x00 0xF0 0x0C 0xEF 0x00 0xF0 0x40 0x00 \
  -generate 8 0x1000 -repeat-string "Flashwright sample reader firmware. " \
  -o "$app/firmware/Reader_4_242_1.hex" -intel -output_block_size=16 -disable=exec-start-address
"$sim" --port-dir "$work/ports" --com 1 --link-target "$WINEPREFIX/dosdevices/com1" \
  >"$work/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do [ -L "$WINEPREFIX/dosdevices/com1" ] && break; sleep 0.05; done

# once <program> [switches...]: milliseconds to its first paint, taken when its "first paint"
# line arrives, and to its end (it ends at once after that line, so the end also counts the
# program's exit).
once() {
  local start painted="" line
  start=$(date +%s%N)
  while IFS= read -r line; do
    [[ -z "$painted" && "$line" == *"first paint"* ]] && painted=$(date +%s%N)
  done < <(FLASHWRIGHT_EXIT_AFTER_FIRST_PAINT=1 timeout 60 wine "$@" </dev/null 2>"$work/run.txt")
  local ended; ended=$(date +%s%N)
  [ -n "$painted" ] || { echo "no first paint from $1" >&2; cat "$work/run.txt" >&2; exit 1; }
  echo "$(( (painted - start) / 1000000 )) $(( (ended - start) / 1000000 ))"
}
program=()
bare=()
program_end=()
bare_end=()
once 'C:\Flashwright\flashwright-testbuild.exe' /C 1 >/dev/null  # warm the caches
once 'C:\Flashwright\bench_bare_window.exe' >/dev/null
once 'C:\Flashwright\startup-form-floor.exe' >/dev/null
form_floor=()
for _ in $(seq "$runs"); do
  read -r painted ended < <(once 'C:\Flashwright\flashwright-testbuild.exe' /C 1)
  [ -n "${painted:-}" ] || exit 1
  program+=("$painted"); program_end+=("$ended")
  read -r painted ended < <(once 'C:\Flashwright\bench_bare_window.exe')
  [ -n "${painted:-}" ] || exit 1
  bare+=("$painted"); bare_end+=("$ended")
  read -r painted ended < <(once 'C:\Flashwright\startup-form-floor.exe')
  [ -n "${painted:-}" ] || exit 1
  form_floor+=("$painted")
done
median() { printf '%s\n' "$@" | sort -n | sed -n "$(( ($# + 1) / 2 ))p"; }
p=$(median "${program[@]}")
b=$(median "${bare[@]}")
f=$(median "${form_floor[@]}")
echo "Start-up to first paint under Wine, median of $runs runs each, alternately in one prefix:"
echo "  flashwright-testbuild.exe /C 1 (reader on COM1): $p ms  (runs: ${program[*]})"
echo "  bare Win32 window:                               $b ms  (runs: ${bare[*]})"
echo "  the design's window alone (no program):          $f ms  (runs: ${form_floor[*]})"
echo "  to the end of the program (first paint and exit): $(median "${program_end[@]}") ms against $(median "${bare_end[@]}") ms"
awk -v p="$p" -v b="$b" -v f="$f" 'BEGIN {
  printf "  ratio %.2f (goal at most 1.30)\n", p / b
  printf "  the window alone to the bare window %.2f; the program to the window alone %.2f\n", f / b, p / f
}'
