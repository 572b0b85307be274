#!/usr/bin/env bash
# Installs what the build, the tests and the tools under tools/ need (Debian, as root).
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config
  qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev libqt5serialbus5-dev
  libqt5svg5-dev qttools5-dev-tools
  libqcustomplot-dev libfftw3-dev libbenchmark-dev
  xvfb xauth imagemagick
  fonts-wqy-microhei
  mbpoll
  python3 python3-numpy python3-scipy
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi
