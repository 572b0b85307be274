#!/usr/bin/env bash
# Configures and builds into build/ (warnings are errors). Arguments name the
# targets to build; without any, everything (the tests and benchmarks too).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMAG_WERROR=ON
if [ $# -gt 0 ]; then
  cmake --build build -j"$(nproc)" --target "$@"
else
  cmake --build build -j"$(nproc)"
fi
