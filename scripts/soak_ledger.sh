#!/usr/bin/env bash
# The production record's kill test in full: 200 kills of a running station for each of the two
# Writers (one that keeps its state, one that forgets it), then the check that no value went to
# two passed chips. The test suite runs the same test with a few kills. Run after a build:
#   scripts/soak_ledger.sh [build folder] [kills per variant]
set -euo pipefail
build=${1:-build}
kills=${2:-200}
VX3WT_SOAK_KILLS=$kills exec "$build/bin/vx3wt_tests" --gtest_filter='*LedgerSoakTest*'
