#!/usr/bin/env bash
# Split of a 1 GiB file into 4 pieces with the SHA-256 checksum file beside them, side by side
# with sha256sum of the source alone: the split reads the source once and digests the pieces on
# another thread while it writes them, so it should take hardly longer than the digest itself.
# Files are in the page cache; every run measures both in turn (alternating who goes first), the
# best run counts.
# Usage: bench/sums/run.sh [runs]
#   QARVO_BENCH_DIR    where the files go (needs about 2 GiB)
#   QARVO_BENCH_BUILD  build folder (default build-bench)
set -euo pipefail
cd "$(dirname "$0")/../.."
runs=${1:-3}
source bench/common.sh
file="$dir/big.bin"
head -c $((1 << 30)) /dev/urandom >"$file"
cat "$file" >/dev/null  # into the page cache

qs="" hs=""
for ((run = 1; run <= runs; run++)); do
  rm -rf "$dir/q"
  mkdir "$dir/q"
  sync
  order="qarvo sha256sum"
  [ $((run % 2)) = 0 ] && order="sha256sum qarvo"
  for who in $order; do
    if [ "$who" = qarvo ]; then
      t0=$(now); "$qarvo" split "$file" --count 4 --sums --out "$dir/q" >/dev/null; t1=$(now)
      qs=$(best "$qs" "$(elapsed "$t0" "$t1")")
    else
      t0=$(now); sha256sum "$file" >/dev/null; t1=$(now)
      hs=$(best "$hs" "$(elapsed "$t0" "$t1")")
    fi
  done
  (cd "$dir/q" && sha256sum --quiet -c big.sha256) || { echo "checksum file is wrong" >&2; exit 1; }
done
rm -rf "$dir/q"

printf '%-44s %8s\n' "1 GiB file, best of $runs" "seconds"
printf '%-44s %8.3f\n' "qarvo split --count 4 --sums" "$qs"
printf '%-44s %8.3f\n' "sha256sum of the source" "$hs"
printf 'ratio (qarvo / sha256sum):  %.2fx  (target <= 1.1x)\n' "$(echo "$qs / $hs" | bc -l)"
printf 'cores: %s, load: %s\n' "$(nproc)" "$(cut -d' ' -f1-3 /proc/loadavg)"
