#!/usr/bin/env bash
# Measures the sensitivity page under load side by side with another commit (by
# default main): builds that commit apart, with this tree's bench source added,
# then runs bench_sensitivity of both under a virtual X server, one after the
# other, and prints both tables.
#
# Usage: scripts/bench_sensitivity.sh [BASE_COMMIT] [bench_sensitivity options]
#   e.g. scripts/bench_sensitivity.sh main --fill-seconds 60 --late-fill-seconds 100
# The base is built in ${MAG_BENCH_DIR:-/tmp/mag-bench-base}; this tree in build/.
set -euo pipefail
cd "$(dirname "$0")/.."
base=${1:-main}
shift || true
base_dir=${MAG_BENCH_DIR:-/tmp/mag-bench-base}
commit=$(git rev-parse --short "$base")

cmake --build build -j"$(nproc)" --target bench_sensitivity virtual-instrument >/dev/null

rm -rf "$base_dir/src"
mkdir -p "$base_dir/src"
git archive "$commit" | tar -x -C "$base_dir/src"
if ! grep -q bench_sensitivity "$base_dir/src/tests/uibench/CMakeLists.txt"; then
  cp tests/uibench/bench_sensitivity.cpp "$base_dir/src/tests/uibench/"
  sed -n '/^# The sensitivity page under load/,$p' tests/uibench/CMakeLists.txt \
    >>"$base_dir/src/tests/uibench/CMakeLists.txt"
fi
cmake -S "$base_dir/src" -B "$base_dir/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$base_dir/build" -j"$(nproc)" --target bench_sensitivity virtual-instrument >/dev/null

run() {
  xvfb-run -a -s "-screen 0 1600x1000x24" "$1/tests/uibench/bench_sensitivity" --label "$2" "${@:3}" \
    2>/dev/null
}
run "$base_dir/build" "$base ($commit)" "$@"
run build "this tree ($(git rev-parse --short HEAD)$(git diff --quiet || echo ', modified'))" "$@"
