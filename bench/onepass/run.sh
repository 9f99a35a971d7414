#!/usr/bin/env bash
# One read of the source and every core for compression, measured side by side in one run:
#   split --check md5 (4 pieces)        against md5sum of the same file
#   split --check crc32 (4 pieces)      against split -n 4
#   pack of 8 files --check md5         against md5sum of the 8 files
#   split --compress default, 1 piece   against pigz -6 with one thread per core
#   split --compress default, 4 pieces  against the same
# then the compressed size against gzip -6's and the peak memory of every qarvo job. Files stay
# in the page cache; each run measures both tools in turn (alternating who goes first), the best
# run counts. The figures mean little without the machine's cores and load, printed at the end.
# Usage: bench/onepass/run.sh [runs]
#   QARVO_BENCH_SIZE   bytes of the test file (default 1 GiB)
#   QARVO_BENCH_DIR    where the files go (needs about four times the size)
#   QARVO_BENCH_BUILD  build folder (default build-bench)
set -euo pipefail
cd "$(dirname "$0")/../.."
runs=${1:-3}
size=${QARVO_BENCH_SIZE:-$((1 << 30))}
for tool in pigz gzip md5sum split; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done
source bench/common.sh
cores=$(nproc)

# Shared libraries give code, tables, strings and packed data: neither text nor noise. Where
# there are not enough of them, they repeat.
file="$dir/mixed.bin"
find /usr/lib /usr/lib64 -type f -name '*.so*' -size +64k 2>/dev/null | LC_ALL=C sort |
  while read -r library; do cat "$library"; done | head -c "$size" >"$file" || true
while [ "$(stat -c %s "$file")" -lt "$size" ]; do
  cat "$file" "$file" | head -c "$size" >"$file.more" || true
  mv "$file.more" "$file"
done
cat "$file" >/dev/null
mkdir "$dir/parts"
split -n 8 -d "$file" "$dir/parts/part"
parts=("$dir"/parts/part*)

# Runs the pair "$2" (qarvo) and "$3" (peer) $runs times; sets q_$1 and p_$1 to the best times.
pair() {
  local name=$1 qcmd=$2 pcmd=$3 q="" p="" run who t0 t1 order
  for ((run = 1; run <= runs; run++)); do
    rm -rf "$dir/q" "$dir/p"
    mkdir "$dir/q" "$dir/p"
    sync
    order="qarvo peer"
    [ $((run % 2)) = 0 ] && order="peer qarvo"
    for who in $order; do
      if [ "$who" = qarvo ]; then
        t0=$(now); eval "$qcmd" >/dev/null; t1=$(now)
        q=$(best "$q" "$(elapsed "$t0" "$t1")")
      else
        t0=$(now); eval "$pcmd" >/dev/null; t1=$(now)
        p=$(best "$p" "$(elapsed "$t0" "$t1")")
      fi
    done
  done
  printf -v "q_$name" '%s' "$q"
  printf -v "p_$name" '%s' "$p"
}

rss() { { /usr/bin/time -v "$@" >/dev/null; } 2>&1 | awk -F': ' '/Maximum resident/ { printf "%.1f", $2 / 1024 }'; }

split_md5="\"\$qarvo\" split \"\$file\" --count 4 --check md5 --out \"\$dir/q\" --quiet"
split_crc="\"\$qarvo\" split \"\$file\" --count 4 --check crc32 --out \"\$dir/q\" --quiet"
pack_md5="\"\$qarvo\" pack \"\${parts[@]}\" --out \"\$dir/q\" --name all.pak --check md5 --quiet"
zip1="\"\$qarvo\" split \"\$file\" --count 1 --compress default --out \"\$dir/q\" --quiet"
zip4="\"\$qarvo\" split \"\$file\" --count 4 --compress default --out \"\$dir/q\" --quiet"
pigz6="pigz -6 -p $cores -c \"\$file\" >\"\$dir/p/g.gz\""

pair md5 "$split_md5" "md5sum \"\$file\""
pair crc "$split_crc" "split -n 4 \"\$file\" \"\$dir/p/x\""
pair pack "$pack_md5" "md5sum \"\${parts[@]}\""
pair zip1 "$zip1" "$pigz6"
pieces1=$(cat "$dir"/q/mixed*.vrk | wc -c)
pair zip4 "$zip4" "$pigz6"
pieces4=$(cat "$dir"/q/mixed*.vrk | wc -c)
# The content comes back whole.
mkdir "$dir/m"
"$qarvo" merge "$dir/q/mixed1.vrk" --out "$dir/m" --quiet >/dev/null
cmp -s "$file" "$dir/m/mixed.bin" || { echo "the compressed set gave other bytes" >&2; exit 1; }
rm -rf "$dir/m"
gzip -6 -c "$file" >"$dir/p/g6.gz"
gzipped=$(stat -c %s "$dir/p/g6.gz")
rm -f "$dir/p/g6.gz"

rm -rf "$dir/q"; mkdir "$dir/q"; rss_md5=$(rss "$qarvo" split "$file" --count 4 --check md5 --out "$dir/q" --quiet)
rm -rf "$dir/q"; mkdir "$dir/q"; rss_crc=$(rss "$qarvo" split "$file" --count 4 --check crc32 --out "$dir/q" --quiet)
rm -rf "$dir/q"; mkdir "$dir/q"; rss_pack=$(rss "$qarvo" pack "${parts[@]}" --out "$dir/q" --name all.pak --check md5 --quiet)
rm -rf "$dir/q"; mkdir "$dir/q"; rss_zip1=$(rss "$qarvo" split "$file" --count 1 --compress default --out "$dir/q" --quiet)
rm -rf "$dir/q"; mkdir "$dir/q"; rss_zip4=$(rss "$qarvo" split "$file" --count 4 --compress default --out "$dir/q" --quiet)

ratio() { echo "$1 / $2" | bc -l; }
printf '%-46s %8s %8s %7s %8s\n' "$((size >> 20)) MiB, best of $runs" "qarvo s" "peer s" "ratio" "peak MiB"
row() { printf '%-46s %8.3f %8.3f %6.2fx %8s\n' "$1" "$2" "$3" "$(ratio "$2" "$3")" "$4"; }
row "split --check md5 / md5sum" "$q_md5" "$p_md5" "$rss_md5"
row "split --check crc32 / split -n 4" "$q_crc" "$p_crc" "$rss_crc"
row "pack 8 files --check md5 / md5sum of the 8" "$q_pack" "$p_pack" "$rss_pack"
row "split --compress, 1 piece / pigz -6 -p $cores" "$q_zip1" "$p_zip1" "$rss_zip1"
row "split --compress, 4 pieces / pigz -6 -p $cores" "$q_zip4" "$p_zip4" "$rss_zip4"
printf 'targets: the first three <= 1.1x, the compressed splits <= 1.0x, peak memory < 64 MiB\n'
printf 'compressed sizes: 1 piece %d, 4 pieces %d, gzip -6 %d bytes (%.2f%% and %.2f%% over)\n' \
  "$pieces1" "$pieces4" "$gzipped" "$(echo "($pieces1 - $gzipped) * 100 / $gzipped" | bc -l)" \
  "$(echo "($pieces4 - $gzipped) * 100 / $gzipped" | bc -l)"
printf 'cores: %s; load average after the runs: %s\n' "$cores" "$(cut -d' ' -f1-3 /proc/loadavg)"
