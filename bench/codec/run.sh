#!/usr/bin/env bash
# MD5 and CRC-32 file throughput, side by side with the usual tools, on one 1 GiB file read
# from the page cache. Each run measures every tool in turn (so a busy machine slows them
# alike); the best run of each counts.
# Usage: bench/codec/run.sh [runs]   (QARVO_BENCH_DIR: where the 1 GiB file goes)
set -euo pipefail
cd "$(dirname "$0")/../.."
runs=${1:-3}
build=build-bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQARVO_GUI=OFF \
  -DQARVO_TESTS=OFF >/dev/null
cmake --build "$build" -j"${QARVO_JOBS:-2}" --target codec_bench >/dev/null
bench="$build/bench/codec_bench"

dir=$(mktemp -d "${QARVO_BENCH_DIR:-${TMPDIR:-/tmp}}/qarvo-bench-XXXXXX")
trap 'rm -rf "$dir"' EXIT
file="$dir/1GiB.bin"
"$bench" make "$file" $((1 << 30))
cat "$file" >/dev/null  # into the page cache

results=$("$bench" "$file" "$runs")
field() { echo "$results" | awk -v n="$1" -v f="$2" '$1 == n { print $f }'; }

printf '%-34s %8s %10s  %s\n' "1 GiB file, best of $runs" "seconds" "MiB/s" "value"
printf '%-34s %8.3f %10.1f  %s\n' "md5sum" "$(field md5sum 2)" "$(field md5sum 3)" \
  "$(field md5sum 4)"
printf '%-34s %8.3f %10.1f  %s\n' "Md5OfFile" "$(field qarvo-md5 2)" "$(field qarvo-md5 3)" \
  "$(field qarvo-md5 4)"
printf '%-34s %8.3f %10.1f  %s\n' "zlib crc32, 64 KiB reads" "$(field zlib-crc32 2)" \
  "$(field zlib-crc32 3)" "$(field zlib-crc32 4)"
printf '%-34s %8.3f %10.1f  %s\n' "Crc32OfFile, 65521-byte reads" "$(field qarvo-crc32 2)" \
  "$(field qarvo-crc32 3)" "$(field qarvo-crc32 4)"
printf 'MD5 ratio (Md5OfFile / md5sum):  %.2fx  (target >= 0.9x)\n' \
  "$(echo "$(field qarvo-md5 3) / $(field md5sum 3)" | bc -l)"
printf 'CRC ratio (Crc32OfFile / zlib):  %.2fx  (target >= 1.0x, goal 2x)\n' \
  "$(echo "$(field qarvo-crc32 3) / $(field zlib-crc32 3)" | bc -l)"
if [ "$(field md5sum 4)" != "$(field qarvo-md5 4)" ] || \
   [ "$(field zlib-crc32 4)" != "$(field qarvo-crc32 4)" ]; then
  echo "values differ" >&2
  exit 1
fi
