#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"${QARVO_JOBS:-2}" --target qarvo qarvo-gui
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found. Start the program under a virtual display, for example:" >&2
  echo "  xvfb-run -a build/src/app/qarvo-gui" >&2
  echo "The command line version needs no display: build/qarvo --help" >&2
  exit 1
fi
exec build/src/app/qarvo-gui "$@"
