#!/usr/bin/env bash
# Smoke run of the program under a virtual X display: it must start, map its main window with
# the right title, and end cleanly (exit status 0) when that window is closed. The program
# closes its own window after QARVO_SMOKE_CLOSE_MS, the way a user's click on the close box
# does.
# Usage: scripts/gui-smoke.sh BUILD_DIR   (the program built there)
#        scripts/gui-smoke.sh PROGRAM     (an installed program, such as PREFIX/bin/qarvo-gui)
# With QARVO_SCREENSHOT=FILE.png it also saves a picture of the main window there (the README's
# screenshot is made this way: QARVO_SCREENSHOT=docs/screenshot.png scripts/gui-smoke.sh build).
set -euo pipefail
target=${1:-build}
if [ -f "$target" ]; then
  program=$(realpath "$target")
fi
cd "$(dirname "$0")/.."
program=${program:-$target/src/app/qarvo-gui}
[ -x "$program" ] || { echo "gui-smoke: $program not built" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/inside.sh" <<'INSIDE'
#!/usr/bin/env bash
set -uo pipefail
program=$1
work=$2
# The window must go to the virtual display, whatever platform the caller's environment names
# (a test run sets offscreen for the window tests).
QT_QPA_PLATFORM=xcb QARVO_SMOKE_CLOSE_MS=6000 "$program" >"$work/out.txt" 2>"$work/err.txt" &
pid=$!
title="Qarvo文件分割助手V1.4"
mapped=no
# A loaded machine may take seconds to start the program: look until it maps its window or ends
# (it closes itself 6 s after showing the window), within the outer timeout.
while kill -0 "$pid" 2>/dev/null; do
  if xwininfo -name "$title" 2>/dev/null | grep -q "Map State: IsViewable"; then
    mapped=yes
    break
  fi
  sleep 0.05
done
echo "mapped=$mapped" >"$work/state.txt"
if [ "$mapped" = yes ]; then
  xwininfo -name "$title" >"$work/window.txt" 2>&1
  sleep 0.5  # let the first paint finish
  import -window root "$work/screen.png" 2>/dev/null || true
fi
wait "$pid"
echo "rc=$?" >>"$work/state.txt"
INSIDE
chmod +x "$work/inside.sh"

timeout 60 xvfb-run -a -s "-screen 0 1024x768x24" "$work/inside.sh" "$program" "$work"

cat "$work/state.txt"
grep -q "mapped=yes" "$work/state.txt" || { echo "gui-smoke: main window never mapped" >&2; cat "$work/err.txt" >&2; exit 1; }
grep -q "rc=0" "$work/state.txt" || { echo "gui-smoke: program did not end cleanly" >&2; cat "$work/err.txt" >&2; exit 1; }
grep -q "main window shown, exposed" "$work/out.txt" || { echo "gui-smoke: window not exposed" >&2; cat "$work/out.txt" >&2; exit 1; }
grep -E "Width|Height" "$work/window.txt" | tr -s ' ' | sed 's/^/gui-smoke: /'
if [ -n "${QARVO_SCREENSHOT:-}" ] && [ -s "$work/screen.png" ]; then
  geometry=$(awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF} /Width:/{w=$NF} /Height:/{h=$NF} END{print w "x" h "+" x "+" y}' "$work/window.txt")
  convert "$work/screen.png" -crop "$geometry" +repage -strip "$QARVO_SCREENSHOT"
  echo "gui-smoke: window picture saved to $QARVO_SCREENSHOT ($geometry)"
fi
if [ -s "$work/screen.png" ]; then
  # A window that draws nothing leaves the screen one colour.
  colours=$(convert "$work/screen.png" -format %k info: 2>/dev/null || echo 0)
  echo "gui-smoke: screen shows $colours colours"
  [ "$colours" -gt 16 ] || { echo "gui-smoke: the window drew nothing" >&2; exit 1; }
fi
echo "gui-smoke: ok"
