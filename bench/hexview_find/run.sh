#!/usr/bin/env bash
# The hex view's search of a 1 GiB buffer for a 12-byte pattern at its very end, side by side
# with grep -c -F (and -i) over the same file in the page cache. Each run times every
# contender in turn; the best run of each counts.
# Usage: bench/hexview_find/run.sh [runs]   (QARVO_BENCH_DIR: where the 1 GiB file goes,
#   QARVO_BENCH_BUILD: build folder, default build-bench)
set -euo pipefail
cd "$(dirname "$0")/../.."
runs=${1:-3}
source bench/common.sh
cmake --build "$build" -j"${QARVO_JOBS:-2}" --target hexfind_bench >/dev/null
bench="$build/bench/hexfind_bench"
file="$dir/1GiB.bin"
"$bench" make "$file" $((1 << 30))
cat "$file" >/dev/null  # into the page cache

results=$("$bench" "$file" "$runs")
field() { echo "$results" | awk -v n="$1" -v f="$2" '$1 == n { print $f }'; }
expected=$(field expected 2)

printf '%-44s %8s  %s\n' "1 GiB, pattern at the end, best of $runs" "seconds" "result"
for name in grep-F Find Find+progress grep-iF Find-i Find-i+progress; do
  case $name in
    grep-F) label="LC_ALL=C grep -c -F (file in page cache)" ;;
    Find) label="Find (buffer in memory)" ;;
    Find+progress) label="Find with progress events" ;;
    grep-iF) label="LC_ALL=C grep -c -i -F" ;;
    Find-i) label="Find, ignore case" ;;
    Find-i+progress) label="Find, ignore case, progress events" ;;
  esac
  printf '%-44s %8.4f  %s\n' "$label" "$(field "$name" 2)" "$(field "$name" 3)"
done
printf 'ratio (Find / grep -F):            %.2fx  (target <= 1.0x)\n' \
  "$(echo "$(field Find 2) / $(field grep-F 2)" | bc -l)"
printf 'ratio (Find ignore case / grep -iF): %.2fx  (target <= 1.0x)\n' \
  "$(echo "$(field Find-i 2) / $(field grep-iF 2)" | bc -l)"
for name in Find Find+progress Find-i Find-i+progress; do
  if [ "$(field "$name" 3)" != "$expected" ]; then
    echo "$name found $(field "$name" 3), expected $expected" >&2
    exit 1
  fi
done
for name in grep-F grep-iF; do
  if [ "$(field "$name" 3)" != 1 ]; then
    echo "$name counted $(field "$name" 3) lines, expected 1" >&2
    exit 1
  fi
done
