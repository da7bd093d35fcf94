#!/usr/bin/env bash
# Eight benches on one shared series in full: 2,000 chips per station through the command line,
# with the serial server stopped and started again in the middle, then the checks that no value
# went to two passed chips and that the server holds every row of every station. The test suite
# runs the same test with a short batch. Run after a build:
#   scripts/soak_series.sh [build folder] [chips per station]
set -euo pipefail
build=${1:-build}
chips=${2:-2000}
VX3WT_SERIES_CHIPS=$chips exec "$build/bin/vx3wt_series_tests" --gtest_filter='SeriesStationsTest.*'
