#!/usr/bin/env bash
# The README's pictures of the hex view window under a virtual X display: this README loaded,
# a word selected and the find dialog open; and the README in GB18030 with the data inspector
# and the character column in GB18030.
# Usage: scripts/hexview-shot.sh [BUILD_DIR] [OUT.png] [INSPECTOR_OUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=${2:-docs/hexview.png}
inspector_out=${3:-docs/hexview-inspector.png}
cmake --build "$build" --target hexview_shot -j"${QARVO_JOBS:-2}" >/dev/null
QT_QPA_PLATFORM=xcb timeout 60 xvfb-run -a -s "-screen 0 1024x768x24" \
  "$build/tests/hex/hexview_shot" README.md "$out" "split"
echo "hexview-shot: saved $out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
iconv -f UTF-8 -t GB18030 README.md >"$work/README-gb18030.txt"
QT_QPA_PLATFORM=xcb timeout 60 xvfb-run -a -s "-screen 0 1024x768x24" \
  "$build/tests/hex/hexview_shot" "$work/README-gb18030.txt" "$inspector_out" "文件十六进制查看" inspector
echo "hexview-shot: saved $inspector_out"
