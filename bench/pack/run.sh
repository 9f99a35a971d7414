#!/usr/bin/env bash
# Packing eight files of 128 MiB into one file and unpacking it again, side by side with
# `tar -cf` and `tar -xf` of the same files, on files in the page cache; every run measures
# each tool in turn (alternating who goes first), the best run counts.
# Usage: bench/pack/run.sh [runs]
#   QARVO_BENCH_DIR    where the files go (needs about 5 GiB)
#   QARVO_BENCH_BUILD  build folder (default build-bench)
set -euo pipefail
cd "$(dirname "$0")/../.."
runs=${1:-3}
source bench/common.sh
mkdir "$dir/src"
files=()
for i in 1 2 3 4 5 6 7 8; do
  head -c $((128 << 20)) /dev/urandom >"$dir/src/file$i.bin"
  files+=("$dir/src/file$i.bin")
done
cat "${files[@]}" >/dev/null  # into the page cache

same_files() {
  for i in 1 2 3 4 5 6 7 8; do
    cmp -s "$dir/src/file$i.bin" "$1/file$i.bin" || return 1
  done
}

qp="" tp="" qu="" tu=""
for ((run = 1; run <= runs; run++)); do
  rm -rf "$dir/out" "$dir/qu" "$dir/tu"
  mkdir "$dir/out" "$dir/qu" "$dir/tu"
  sync
  order="qarvo tar"
  [ $((run % 2)) = 0 ] && order="tar qarvo"
  for who in $order; do
    if [ "$who" = qarvo ]; then
      t0=$(now); "$qarvo" pack "${files[@]}" --out "$dir/out" --name all.pak >/dev/null; t1=$(now)
      qp=$(best "$qp" "$(elapsed "$t0" "$t1")")
    else
      t0=$(now); tar -cf "$dir/out/all.tar" -C "$dir/src" .; t1=$(now)
      tp=$(best "$tp" "$(elapsed "$t0" "$t1")")
    fi
  done
  sync
  for who in $order; do
    if [ "$who" = qarvo ]; then
      t0=$(now); "$qarvo" unpack "$dir/out/all.pak" --out "$dir/qu" >/dev/null; t1=$(now)
      qu=$(best "$qu" "$(elapsed "$t0" "$t1")")
    else
      t0=$(now); tar -xf "$dir/out/all.tar" -C "$dir/tu"; t1=$(now)
      tu=$(best "$tu" "$(elapsed "$t0" "$t1")")
    fi
  done
  same_files "$dir/qu" || { echo "qarvo unpack gave other bytes" >&2; exit 1; }
  same_files "$dir/tu" || { echo "tar -xf gave other bytes" >&2; exit 1; }
done

printf '%-40s %8s\n' "8 files of 128 MiB, best of $runs" "seconds"
printf '%-40s %8.3f\n' "qarvo pack" "$qp"
printf '%-40s %8.3f\n' "tar -cf" "$tp"
printf '%-40s %8.3f\n' "qarvo unpack" "$qu"
printf '%-40s %8.3f\n' "tar -xf" "$tu"
printf 'pack ratio (qarvo / tar -cf):    %.2fx  (target <= 1.0x)\n' "$(echo "$qp / $tp" | bc -l)"
printf 'unpack ratio (qarvo / tar -xf):  %.2fx  (target <= 1.0x)\n' "$(echo "$qu / $tu" | bc -l)"
