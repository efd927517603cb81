#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds the program and starts it. Without a
# display it runs under Xvfb and saves a screenshot of the main window. A build
# with the default (.invalid) site hosts shows the demo site in demo/site; see
# scripts/run-linux.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset release
cmake --build --preset release -j"$(nproc)" --target tavrino layouts_json
exec scripts/run-linux.sh build/release
