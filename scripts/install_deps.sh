#!/usr/bin/env bash
# Installs what building, running and testing the program needs, from Debian 12's packages.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl1-mesa-dev libfmt-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  xvfb xauth xdotool imagemagick fonts-wqy-microhei fonts-dejavu-core
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  run=""
  [ "$(id -u)" -ne 0 ] && run="sudo"
  $run apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $run apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
