#!/usr/bin/env bash
# Builds everything and runs every test; ends with ctest's summary.
# Tests that need a display start their own Xvfb server.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$top/tools/setup.sh"
build=${GS_BUILD_DIR:-$top/build}
ctest --test-dir "$build" -j "$(nproc)" --output-on-failure "$@"
