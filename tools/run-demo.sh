#!/usr/bin/env bash
# The program's main job on a simulated reader: a reader simulator on COM1 of a temporary port
# folder, and then
#   with a display ($DISPLAY or $WAYLAND_DISPLAY): the Flashwright window on that port, with the
#     sample firmware folder beside the program, ready for "Begin Update";
#   without one: a terminal update with flashwright-cli when it is built, else what the reader
#     link reads from the simulated reader.
set -euo pipefail
build=${1:-build}
ports=$(mktemp -d)
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; rm -rf "$ports"' EXIT
export FLASHWRIGHT_PORT_DIR=$ports
"$build/tools/reader_sim/reader-sim" --port-dir "$ports" --com 1 > "$ports/sim.log" &
sim=$!
for _ in $(seq 50); do grep -q 'reader-sim:' "$ports/sim.log" 2>/dev/null && break; sleep 0.1; done

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
else
  "$build/tools/reader_info/reader-info" 1
fi
