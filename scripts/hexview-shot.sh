#!/usr/bin/env bash
# The README's picture of the hex view window: this README loaded, a word selected and the
# find dialog open, under a virtual X display.
# Usage: scripts/hexview-shot.sh [BUILD_DIR] [OUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=${2:-docs/hexview.png}
cmake --build "$build" --target hexview_shot -j"${QARVO_JOBS:-2}" >/dev/null
QT_QPA_PLATFORM=xcb timeout 60 xvfb-run -a -s "-screen 0 1024x768x24" \
  "$build/tests/hexview/hexview_shot" README.md "$out" "split"
echo "hexview-shot: saved $out"
