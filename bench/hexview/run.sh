#!/usr/bin/env bash
# The hex control: (a) loading a 1 GiB file from the page cache against `cp` of the same file
# onto a tmpfs (/dev/shm), measured side by side in one run (alternating who goes first, the
# best run counts); (b) one full repaint of the hex view window's control (634 x 273 pixels) at
# the end of that buffer against the same at its start; (c) typing one byte at the start of a
# 256 MiB buffer in insert mode and undoing it, against one memmove of the same size.
# Usage: bench/hexview/run.sh [runs]
#   QARVO_BENCH_DIR    where the file goes (needs about 1 GiB)
#   QARVO_HEX_BUILD    build folder with the Qt side (default build-bench-hex)
set -euo pipefail
cd "$(dirname "$0")/../.."
runs=${1:-3}
source bench/common.sh
hexbuild=${QARVO_HEX_BUILD:-build-bench-hex}
cmake -S . -B "$hexbuild" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQARVO_TESTS=OFF >/dev/null
cmake --build "$hexbuild" -j"${QARVO_JOBS:-2}" --target hexview_bench >/dev/null
bench="$PWD/$hexbuild/bench/hexview_bench"
export QT_QPA_PLATFORM=offscreen

file="$dir/big.bin"
head -c $((1 << 30)) /dev/urandom >"$file"
cat "$file" >/dev/null  # into the page cache
shm=$(mktemp -d /dev/shm/qarvo-hex-XXXXXX)
trap 'rm -rf "$dir" "$shm"' EXIT

ql="" qp="" cl=""
for ((run = 1; run <= runs; run++)); do
  order="qarvo cp"
  [ $((run % 2)) = 0 ] && order="cp qarvo"
  for who in $order; do
    if [ "$who" = qarvo ]; then
      t0=$(now); inner=$("$bench" load "$file" 2>/dev/null); t1=$(now)
      ql=$(best "$ql" "$inner")
      qp=$(best "$qp" "$(elapsed "$t0" "$t1")")
    else
      rm -f "$shm/copy"
      t0=$(now); cp "$file" "$shm/copy"; t1=$(now)
      cl=$(best "$cl" "$(elapsed "$t0" "$t1")")
    fi
  done
done
rm -f "$shm/copy"
read -r start end < <("$bench" repaint "$file" 200 2>/dev/null)

printf '%-44s %9s\n' "1 GiB file, best of $runs" "seconds"
printf '%-44s %9.3f\n' "LoadFromFile (the call)" "$ql"
printf '%-44s %9.3f\n' "hexview_bench load (whole process)" "$qp"
printf '%-44s %9.3f\n' "cp FILE /dev/shm" "$cl"
printf 'load ratio (LoadFromFile / cp):        %.2fx  (target <= 1.0x)\n' "$(echo "$ql / $cl" | bc -l)"
printf 'load ratio (whole process / cp):       %.2fx\n' "$(echo "$qp / $cl" | bc -l)"
printf 'full repaint 634 x 273 at the start:   %.3f ms\n' "$(echo "$start * 1000" | bc -l)"
printf 'full repaint 634 x 273 at the end:     %.3f ms\n' "$(echo "$end * 1000" | bc -l)"
printf 'repaint ratio (end / start):           %.2fx  (target <= 1.2x)\n' "$(echo "$end / $start" | bc -l)"

# (c) typing one byte at the start of a 256 MiB buffer in insert mode moves the whole tail once;
# so does its undo.
read -r ins und mov < <("$bench" insert 256)
printf 'insert one byte at the start of 256 MiB:  %.3f ms\n' "$(echo "$ins * 1000" | bc -l)"
printf 'undo of that insert:                      %.3f ms\n' "$(echo "$und * 1000" | bc -l)"
printf 'memmove of 256 MiB:                       %.3f ms\n' "$(echo "$mov * 1000" | bc -l)"
printf 'insert ratio (insert / memmove):   %.2fx  (target: about 1x, one pass over the tail)\n' \
  "$(echo "$ins / $mov" | bc -l)"
printf 'undo ratio (undo / memmove):       %.2fx\n' "$(echo "$und / $mov" | bc -l)"
