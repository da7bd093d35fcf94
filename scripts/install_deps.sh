#!/usr/bin/env bash
# Installs what building, running and testing the program needs, from Debian 12's packages.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl1-mesa-dev libfmt-dev
  # The production record: SQLite, and its command-line tool to look into the record.
  libsqlite3-dev sqlite3
  # The shared series: PostgreSQL's client library, and its server for the tests and benchmarks.
  libpq-dev postgresql
  # The command line: its JSON events and its options (header-only).
  nlohmann-json3-dev libcli11-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  xvfb xauth xdotool imagemagick fonts-wqy-microhei fonts-dejavu-core
  # The package test: the Debian package's tools and its checker.
  dpkg-dev lintian
  # The Windows build: MinGW-w64 cross compilers (64-bit, and 32-bit for the __stdcall checks),
  # GoogleTest's sources to build with them, and Wine to run the Windows tests.
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 googletest wine64 locales
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

# Wine takes the Windows code page and the encoding of host file names from the host's locale:
# the Windows tests run in a Chinese and a Western one, which must exist for that.
wanted_locales=(zh_CN.UTF-8 en_US.UTF-8)
missing_locales=()
for l in "${wanted_locales[@]}"; do
  locale -a 2>/dev/null | grep -qix "${l/UTF-8/utf8}" || missing_locales+=("$l")
done
if [ ${#missing_locales[@]} -gt 0 ]; then
  run=""
  [ "$(id -u)" -ne 0 ] && run="sudo"
  for l in "${missing_locales[@]}"; do
    grep -qx "$l UTF-8" /etc/locale.gen || echo "$l UTF-8" | $run tee -a /etc/locale.gen >/dev/null
  done
  $run locale-gen >/dev/null
fi
