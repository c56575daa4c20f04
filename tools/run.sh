#!/usr/bin/env bash
# Builds everything and starts the player.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$top/tools/setup.sh"
build=${GS_BUILD_DIR:-$top/build}
if [ -x "$build/Groovestone-lp-dsd" ]; then
  exec "$build/Groovestone-lp-dsd"
fi
echo "== The player itself is not built yet. Built so far, in $build:"
for f in "$build"/engine/*.so; do
  printf '  %-28s %8d bytes\n' "engine/$(basename "$f")" "$(stat -c %s "$f")"
done
for f in "$build"/tools/*/*; do
  [ -f "$f" ] && [ -x "$f" ] && printf '  %-28s\n' "${f#"$build"/}"
done
echo "Run tools/test.sh to build and run every test."
