#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds everything with warnings as errors and
# runs every test: the headless tests, the end-to-end tests in real windows,
# the Windows build's checks, and the headless tests again under AddressSanitizer
# and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

jobs=$(nproc)
cmake --preset ci
cmake --build --preset ci -j"$jobs"
ctest --preset ci -j1

cmake --preset asan
cmake --build --preset asan -j"$jobs"
ctest --preset asan -j"$jobs"
