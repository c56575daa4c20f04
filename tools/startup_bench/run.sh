#!/usr/bin/env bash
# Measures the program's start-up on a display of its own: tools/startup_bench/run.sh [runs]
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${GS_BUILD_DIR:-$top/build}
exec xvfb-run -a -s "-screen 0 1280x1024x24" "$build/tools/startup_bench/startup_bench" \
  "$build/Groovestone-lp-dsd" "${1:-10}"
