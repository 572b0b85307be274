#!/usr/bin/env bash
# Draws the help pages' images into help/images: screenshots of the program
# driving the virtual instrument on a virtual X server, and figures. Run after
# a build (scripts/build.sh); the images are committed with the help pages.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build build --target help-shots virtual-instrument -j"$(nproc)"
xvfb-run -a -s "-screen 0 1600x1000x24" build/tools/help-shots/help-shots --out help/images
