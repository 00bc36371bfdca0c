#!/usr/bin/env bash
# The program's main job on its embedded default: a simulated reader on COM1 of a temporary
# port folder, and what the reader link reads from it.
set -euo pipefail
build=${1:-build}
ports=$(mktemp -d)
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; rm -rf "$ports"' EXIT
export FLASHWRIGHT_PORT_DIR=$ports
"$build/tools/reader_sim/reader-sim" --port-dir "$ports" --com 1 > "$ports/sim.log" &
sim=$!
for _ in $(seq 50); do grep -q 'reader-sim:' "$ports/sim.log" 2>/dev/null && break; sleep 0.1; done
"$build/tools/reader_info/reader-info" 1
