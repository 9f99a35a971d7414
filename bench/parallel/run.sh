#!/usr/bin/env bash
# Compressed split of a 256 MiB file of mixed content (shared libraries of this system, one after
# the other) into 4 pieces at the default level, side by side with `gzip -6` of the same file,
# and the merge of that set side by side with `gzip -dc` of the gzip file. Files stay in the page
# cache; each run measures both tools in turn (alternating who goes first), the best run counts.
# Then the peak memory of the compressed split and of the merge, and the machine's core count
# and load, since the figures mean little without them.
# Usage: bench/parallel/run.sh [runs]
#   QARVO_BENCH_DIR    where the files go (needs about 1 GiB)
#   QARVO_BENCH_BUILD  build folder (default build-bench)
set -euo pipefail
cd "$(dirname "$0")/../.."
runs=${1:-3}
source bench/common.sh
file="$dir/mixed.bin"
size=$((256 << 20))
# Libraries give code, tables, strings and already packed data: neither text nor noise.
find /usr/lib /usr/lib64 -type f -name '*.so*' -size +64k 2>/dev/null | LC_ALL=C sort |
  while read -r library; do cat "$library"; done | head -c "$size" >"$file" || true
if [ "$(stat -c %s "$file")" -lt "$size" ]; then
  echo "not enough libraries under /usr/lib for a 256 MiB file" >&2
  exit 1
fi
cat "$file" >/dev/null

qs="" gs="" qm="" gm=""
for ((run = 1; run <= runs; run++)); do
  rm -rf "$dir/q" "$dir/qm" "$dir/g.gz" "$dir/gm.bin"
  mkdir "$dir/q" "$dir/qm"
  sync
  order="qarvo gzip"
  [ $((run % 2)) = 0 ] && order="gzip qarvo"
  for who in $order; do
    if [ "$who" = qarvo ]; then
      t0=$(now); "$qarvo" split "$file" --count 4 --compress default --out "$dir/q" --quiet \
        >/dev/null; t1=$(now)
      qs=$(best "$qs" "$(elapsed "$t0" "$t1")")
    else
      t0=$(now); gzip -6 -c "$file" >"$dir/g.gz"; t1=$(now)
      gs=$(best "$gs" "$(elapsed "$t0" "$t1")")
    fi
  done
  sync
  for who in $order; do
    if [ "$who" = qarvo ]; then
      t0=$(now); "$qarvo" merge "$dir/q/mixed1.vrk" --out "$dir/qm" --quiet >/dev/null; t1=$(now)
      qm=$(best "$qm" "$(elapsed "$t0" "$t1")")
    else
      t0=$(now); gzip -dc "$dir/g.gz" >"$dir/gm.bin"; t1=$(now)
      gm=$(best "$gm" "$(elapsed "$t0" "$t1")")
    fi
  done
  cmp -s "$file" "$dir/qm/mixed.bin" || { echo "qarvo merge gave other bytes" >&2; exit 1; }
  cmp -s "$file" "$dir/gm.bin" || { echo "gzip -dc gave other bytes" >&2; exit 1; }
done
pieces=$(cat "$dir"/q/mixed*.vrk | wc -c)
gzipped=$(stat -c %s "$dir/g.gz")

# Peak memory and processor time of the same jobs. On a machine that other work keeps busy, the
# wall-clock ratios above say little: the processor seconds show what each tool needs.
rss() { awk -F': ' '/Maximum resident set size/ { printf "%.1f", $2 / 1024 }'; }
cpu() { awk -F': ' '/(User|System) time/ { t += $2 } END { printf "%.2f", t }'; }
rm -rf "$dir/q" "$dir/qm"
mkdir "$dir/q" "$dir/qm"
split_stats=$( { /usr/bin/time -v "$qarvo" split "$file" --count 4 --compress default \
  --out "$dir/q" --quiet >/dev/null; } 2>&1)
merge_stats=$( { /usr/bin/time -v "$qarvo" merge "$dir/q/mixed1.vrk" --out "$dir/qm" --quiet \
  >/dev/null; } 2>&1)
gzip_cpu=$( { /usr/bin/time -v gzip -6 -c "$file" >"$dir/g.gz"; } 2>&1 | cpu)
gunzip_cpu=$( { /usr/bin/time -v gzip -dc "$dir/g.gz" >"$dir/gm.bin"; } 2>&1 | cpu)
split_rss=$(rss <<<"$split_stats")
merge_rss=$(rss <<<"$merge_stats")
verify_t0=$(now)
"$qarvo" verify "$dir/q/mixed1.vrk" --quiet >/dev/null
verify_s=$(elapsed "$verify_t0" "$(now)")
# With an MD5, which must see the bytes in order: the merge verifies its output afterwards, the
# check digests while it inflates.
rm -rf "$dir/q" "$dir/qm"
mkdir "$dir/q" "$dir/qm"
"$qarvo" split "$file" --count 4 --compress default --check md5 --out "$dir/q" --quiet >/dev/null
merge_md5_s="" verify_md5_s=""
for ((run = 1; run <= runs; run++)); do
  rm -rf "$dir/qm"
  mkdir "$dir/qm"
  t0=$(now); "$qarvo" merge "$dir/q/mixed1.vrk" --out "$dir/qm" --quiet >/dev/null; t1=$(now)
  merge_md5_s=$(best "$merge_md5_s" "$(elapsed "$t0" "$t1")")
  t0=$(now); "$qarvo" verify "$dir/q/mixed1.vrk" --quiet >/dev/null; t1=$(now)
  verify_md5_s=$(best "$verify_md5_s" "$(elapsed "$t0" "$t1")")
done

printf '%-44s %8s\n' "256 MiB of libraries, 4 pieces, best of $runs" "seconds"
printf '%-44s %8.3f\n' "qarvo split --count 4 --compress default" "$qs"
printf '%-44s %8.3f\n' "gzip -6" "$gs"
printf '%-44s %8.3f\n' "qarvo merge" "$qm"
printf '%-44s %8.3f\n' "gzip -dc" "$gm"
printf '%-44s %8.3f\n' "qarvo verify (once)" "$verify_s"
printf '%-44s %8.3f\n' "qarvo merge of an MD5 set, verified" "$merge_md5_s"
printf '%-44s %8.3f\n' "qarvo verify of that set" "$verify_md5_s"
printf 'split ratio (qarvo / gzip -6):   %.2fx  (target <= 0.6x)\n' "$(echo "$qs / $gs" | bc -l)"
printf 'merge ratio (qarvo / gzip -dc):  %.2fx  (target <= 0.6x)\n' "$(echo "$qm / $gm" | bc -l)"
printf 'verify of an MD5 set / its merge: %.2fx  (target <= 1.0x)\n' \
  "$(echo "$verify_md5_s / $merge_md5_s" | bc -l)"
printf 'compressed sizes: pieces %d bytes, gzip %d bytes\n' "$pieces" "$gzipped"
printf 'peak RSS: split %s MiB, merge %s MiB (target < 64 MiB)\n' "$split_rss" "$merge_rss"
printf 'processor seconds: split %s, gzip -6 %s; merge %s, gzip -dc %s\n' \
  "$(cpu <<<"$split_stats")" "$gzip_cpu" "$(cpu <<<"$merge_stats")" "$gunzip_cpu"
printf 'cores: %s; load average after the runs: %s\n' "$(nproc)" \
  "$(cut -d' ' -f1-3 /proc/loadavg)"
