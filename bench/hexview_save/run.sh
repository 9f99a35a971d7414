#!/usr/bin/env bash
# The hex view's "另存为...": writing a 256 MiB content (already in memory) to a new file on
# the disk, flushed, against `cp` of the same bytes from the page cache followed by `sync` of
# the copy, side by side in one run (alternating who goes first, the best run counts).
# Usage: bench/hexview_save/run.sh [runs]
#   QARVO_BENCH_DIR    where the files go (needs about 768 MiB)
set -euo pipefail
cd "$(dirname "$0")/../.."
runs=${1:-3}
source bench/common.sh
cmake --build "$build" -j"${QARVO_JOBS:-2}" --target hexsave_bench >/dev/null
bench="$PWD/$build/bench/hexsave_bench"

file="$dir/content.bin"
head -c $((256 << 20)) /dev/urandom >"$file"
cat "$file" >/dev/null

qs="" cs=""
for ((run = 1; run <= runs; run++)); do
  order="qarvo cp"
  [ $((run % 2)) = 0 ] && order="cp qarvo"
  for who in $order; do
    rm -f "$dir/out"
    sync
    if [ "$who" = qarvo ]; then
      qs=$(best "$qs" "$("$bench" "$file" "$dir/out")")
      cmp -s "$file" "$dir/out" || { echo "hexsave_bench wrote other bytes" >&2; exit 1; }
    else
      t0=$(now); cp "$file" "$dir/out"; sync "$dir/out"; t1=$(now)
      cs=$(best "$cs" "$(elapsed "$t0" "$t1")")
    fi
  done
done

printf '%-44s %9s\n' "256 MiB, best of $runs" "seconds"
printf '%-44s %9.3f\n' "SaveContentCopy (temp, fsync, rename)" "$qs"
printf '%-44s %9.3f\n' "cp FILE OUT && sync OUT" "$cs"
printf 'ratio (save / cp+sync):                 %.2fx\n' "$(echo "$qs / $cs" | bc -l)"
