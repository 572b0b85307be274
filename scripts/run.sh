#!/usr/bin/env bash
# Installs what is missing, builds, starts the virtual instrument in the
# background and then the program; the instrument stops when the program ends.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh

instrument=build/tools/virtual-instrument/virtual-instrument
port_line=$(mktemp)
"$instrument" >"$port_line" &
instrument_pid=$!
trap 'kill "$instrument_pid" 2>/dev/null || true; wait "$instrument_pid" 2>/dev/null || true; rm -f "$port_line"' EXIT
# Wait (at most 5 s) until the instrument has published its port.
for _ in $(seq 50); do
  [ -s "$port_line" ] && break
  kill -0 "$instrument_pid" 2>/dev/null || { echo "the virtual instrument did not start" >&2; exit 1; }
  sleep 0.1
done
read -r _ port device <"$port_line" || true
echo "Virtual instrument on ${port:-?} (${device:-?}): choose it in the port menu."

cd build/app
./magnetometer "$@"
