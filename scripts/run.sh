#!/usr/bin/env bash
# Installs what is missing, builds, starts the virtual instrument in the
# background and then the program; the instrument stops when the program ends.
# With "isServer=1" in the [Server] group of build/app/config.ini it also starts
# the monitoring-server stand-in (unless $MAG_SERVER_URL points elsewhere) and the
# GPS stand-in on the port named by "GPSCom" (default Com4).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# Only what running needs: the program, its help pages and the stand-ins.
bash scripts/build.sh magnetometer mag_help virtual-instrument gps-receiver

pids=()
tmpfiles=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -f "${tmpfiles[@]}"
}
trap cleanup EXIT

# Starts a stand-in in the background and waits (at most 5 s) for its first line,
# which it leaves in $line.
start_standin() {
  local out
  out=$(mktemp)
  tmpfiles+=("$out")
  "$@" >"$out" &
  pids+=($!)
  for _ in $(seq 50); do
    [ -s "$out" ] && break
    kill -0 "${pids[-1]}" 2>/dev/null || { echo "did not start: $*" >&2; exit 1; }
    sleep 0.1
  done
  line=$(head -n 1 "$out")
}

# A key of the [Server] group of config.ini, or the default, read as the program
# reads the forms an operator writes: blanks around names and values do not
# count, ";" outside quotes starts a comment, quotes are dropped, "\\" and "\""
# stand for themselves, and of a key given twice the last one holds.
server_setting() {
  local ini=build/app/config.ini
  [ -f "$ini" ] || { echo "$2"; return; }
  awk -v key="$1" -v def="$2" '
    function trim(s) { gsub(/^[ \t\r]+|[ \t\r]+$/, "", s); return s }
    function value_of(s,    out, quoted, i, c) {
      out = ""; quoted = 0
      for (i = 1; i <= length(s); i++) {
        c = substr(s, i, 1)
        if (c == "\"") { quoted = !quoted; continue }
        if (c == "\\" && i < length(s)) { c = substr(s, ++i, 1); if (c == "t") c = "\t" }
        else if (c == ";" && !quoted) break
        out = out c
      }
      return trim(out)
    }
    { line = trim($0) }
    line ~ /^\[.*\]$/ { group = trim(substr(line, 2, length(line) - 2)); next }
    group == "Server" && index(line, "=") > 1 {
      eq = index(line, "=")
      if (trim(substr(line, 1, eq - 1)) != key) next
      value = value_of(trim(substr(line, eq + 1)))
      found = 1
    }
    END { print (found ? value : def) }' "$ini"
}

start_standin build/tools/virtual-instrument/virtual-instrument
read -r _ port device <<<"$line" || true
echo "Virtual instrument on ${port:-?} (${device:-?}): choose it in the port menu."

if [ "$(server_setting isServer 0)" = "1" ]; then
  if [ -z "${MAG_SERVER_URL:-}" ]; then
    start_standin python3 tools/monitor-server/monitor-server.py
    read -r _ base _ <<<"$line" || true
    echo "Monitoring-server stand-in at ${base}; its page: ${base%/monitor-server}/"
  fi
  gps_name=$(server_setting GPSCom Com4)
  if [ -n "$gps_name" ]; then
    start_standin build/tools/gps-receiver/gps-receiver --name "${gps_name^^}"
    read -r _ gps_port _ <<<"$line" || true
    echo "GPS stand-in on ${gps_port:-?}."
  fi
fi

cd build/app
./magnetometer "$@"
