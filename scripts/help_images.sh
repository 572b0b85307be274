#!/usr/bin/env bash
# Draws the help pages' images into help/images: screenshots of the program
# driving the virtual instrument on a virtual X server, and figures. Run after
# a build (scripts/build.sh); the images are committed with the help pages.
# The folder is replaced as a whole, so an image that is no longer drawn goes.
# Then the script checks that the pages, the image list in help/CMakeLists.txt
# and the folder name the same images, and copies them beside the program
# (build/app/help).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build build --target help-shots virtual-instrument -j"$(nproc)"

fresh=$(mktemp -d)
trap 'rm -rf "$fresh"' EXIT
xvfb-run -a -s "-screen 0 1600x1000x24" build/tools/help-shots/help-shots --out "$fresh"
rm -f help/images/*.png
cp "$fresh"/*.png help/images/

drawn=$(cd help/images && ls -- *.png | sort)
listed=$(sed -n '/set(MAG_HELP_IMAGES/,/)/p' help/CMakeLists.txt | grep -o '[A-Za-z0-9_.-]*\.png' | sort)
shown=$(grep -ho 'src="images/[^"]*"' help/*.html | sed 's/^src="images\///; s/"$//' | sort -u)
status=0
if [ "$drawn" != "$listed" ]; then
    echo "help/CMakeLists.txt lists other images than were drawn (< drawn, > listed):"
    diff <(echo "$drawn") <(echo "$listed") || true
    status=1
fi
if [ "$drawn" != "$shown" ]; then
    echo "the help pages show other images than were drawn (< drawn, > shown):"
    diff <(echo "$drawn") <(echo "$shown") || true
    status=1
fi
cmake --build build --target mag_help
exit $status
