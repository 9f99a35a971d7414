#!/usr/bin/env bash
# Split of a 1 GiB file into 4 pieces and the join of those pieces, side by side with GNU
# `split -n 4` and `cat` of its pieces, on files in the page cache; every run measures each
# tool in turn (alternating who goes first), the best run counts. Then the peak memory of a
# compressed split of the same file.
# Usage: bench/split_merge/run.sh [runs]
#   QARVO_BENCH_DIR    where the files go (needs about 4 GiB)
#   QARVO_BENCH_BUILD  build folder (default build-bench)
#   QARVO_BENCH_LEVEL  compression for the memory run: fastest, default or max (default: default)
set -euo pipefail
cd "$(dirname "$0")/../.."
runs=${1:-3}
level=${QARVO_BENCH_LEVEL:-default}
source bench/common.sh
file="$dir/big.bin"
head -c $((1 << 30)) /dev/urandom >"$file"
cat "$file" >/dev/null  # into the page cache


qs="" gs="" qm="" gm=""
for ((run = 1; run <= runs; run++)); do
  rm -rf "$dir/q" "$dir/g" "$dir/qm" "$dir/gm"
  mkdir "$dir/q" "$dir/g" "$dir/qm" "$dir/gm"
  sync
  order="qarvo gnu"
  [ $((run % 2)) = 0 ] && order="gnu qarvo"
  for who in $order; do
    if [ "$who" = qarvo ]; then
      t0=$(now); "$qarvo" split "$file" --count 4 --out "$dir/q" >/dev/null; t1=$(now)
      qs=$(best "$qs" "$(elapsed "$t0" "$t1")")
    else
      t0=$(now); (cd "$dir/g" && split -n 4 "$file" part.); t1=$(now)
      gs=$(best "$gs" "$(elapsed "$t0" "$t1")")
    fi
  done
  sync
  for who in $order; do
    if [ "$who" = qarvo ]; then
      t0=$(now); "$qarvo" merge "$dir/q/big1.vrk" --out "$dir/qm" >/dev/null; t1=$(now)
      qm=$(best "$qm" "$(elapsed "$t0" "$t1")")
    else
      t0=$(now); cat "$dir"/g/part.* >"$dir/gm/big.bin"; t1=$(now)
      gm=$(best "$gm" "$(elapsed "$t0" "$t1")")
    fi
  done
  cmp -s "$file" "$dir/qm/big.bin" || { echo "qarvo merge gave other bytes" >&2; exit 1; }
  cmp -s "$file" "$dir/gm/big.bin" || { echo "cat gave other bytes" >&2; exit 1; }
done
rm -rf "$dir/q" "$dir/g" "$dir/qm" "$dir/gm"

mkdir "$dir/z"
stats=$( { /usr/bin/time -v "$qarvo" split "$file" --count 4 --compress "$level" --out "$dir/z" \
  >/dev/null; } 2>&1 )
rss_kib=$(echo "$stats" | awk -F': ' '/Maximum resident set size/ { print $2 }')
wall=$(echo "$stats" | awk -F': ' '/Elapsed \(wall clock\)/ { print $2 }')
mkdir "$dir/zm"
"$qarvo" merge "$dir/z/big2.vrk" --out "$dir/zm" >/dev/null
cmp -s "$file" "$dir/zm/big.bin" || { echo "compressed set joined to other bytes" >&2; exit 1; }

printf '%-40s %8s\n' "1 GiB file into 4 pieces, best of $runs" "seconds"
printf '%-40s %8.3f\n' "qarvo split --count 4" "$qs"
printf '%-40s %8.3f\n' "GNU split -n 4" "$gs"
printf '%-40s %8.3f\n' "qarvo merge" "$qm"
printf '%-40s %8.3f\n' "cat of the GNU pieces" "$gm"
printf 'split ratio (qarvo / GNU split):  %.2fx  (target <= 1.0x)\n' "$(echo "$qs / $gs" | bc -l)"
printf 'merge ratio (qarvo / cat):        %.2fx  (target <= 1.0x)\n' "$(echo "$qm / $gm" | bc -l)"
printf 'compressed split (%s): peak RSS %.1f MiB (target < 64 MiB), %s wall\n' "$level" \
  "$(echo "$rss_kib / 1024" | bc -l)" "$wall"
