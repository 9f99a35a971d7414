#!/usr/bin/env bash
# The compare and check jobs side by side with the coreutils that answer the same question, on
# files in the page cache; every tool is timed in turn, the best run counts.
#   SHA-256:     qarvo compare A --expect HASH     vs  sha256sum A            (1 GiB)
#   byte compare qarvo compare A B --bytes         vs  cmp A B                (two equal 1 GiB)
#   check:       qarvo check list.sha256           vs  sha256sum -c list.sha256 (8 x 128 MiB)
# Usage: bench/compare/run.sh [runs]   (QARVO_BENCH_DIR: where the files go;
#                                       QARVO_BENCH_BUILD: the release build folder)
set -euo pipefail
cd "$(dirname "$0")/../.."
runs=${1:-3}
source bench/common.sh
gib=$((1 << 30))
mib=$((1 << 20))
head -c "$gib" /dev/urandom >"$dir/a.bin"
cp "$dir/a.bin" "$dir/b.bin"
mkdir "$dir/set"
for i in 1 2 3 4 5 6 7 8; do
  head -c $((128 * mib)) /dev/urandom >"$dir/set/part$i.bin"
done
(cd "$dir/set" && sha256sum part*.bin >list.sha256)
sum=$(sha256sum "$dir/a.bin" | cut -d' ' -f1)
cat "$dir/a.bin" "$dir/b.bin" "$dir"/set/part*.bin >/dev/null  # into the page cache
sync

check_sums() { (cd "$dir/set" && sha256sum -c list.sha256); }

sha_t=() expect_t=() cmp_t=() bytes_t=() sumc_t=() check_t=()
for ((i = 0; i < runs; i++)); do
  sha_t+=("$(seconds sha256sum "$dir/a.bin")")
  expect_t+=("$(seconds "$qarvo" compare "$dir/a.bin" --expect "$sum" --quiet)")
  cmp_t+=("$(seconds cmp "$dir/a.bin" "$dir/b.bin")")
  bytes_t+=("$(seconds "$qarvo" compare "$dir/a.bin" "$dir/b.bin" --bytes --quiet)")
  sumc_t+=("$(seconds check_sums)")
  check_t+=("$(seconds "$qarvo" check "$dir/set/list.sha256" --quiet)")
done

# The answers must be those of the peers.
"$qarvo" compare "$dir/a.bin" --expect "$sum" --quiet | grep -q '相符$' || {
  echo "compare --expect did not find the SHA-256 of sha256sum" >&2
  exit 1
}
"$qarvo" compare "$dir/a.bin" "$dir/b.bin" --bytes --quiet | grep -qx '两文件相同' || {
  echo "the byte compare did not find the copies equal" >&2
  exit 1
}
"$qarvo" check "$dir/set/list.sha256" --quiet | grep -qx '共 8 个文件,全部相符' || {
  echo "check did not find the 8 files matching" >&2
  exit 1
}

row() {  # name, reference seconds, qarvo seconds, reference name
  printf '%-8s %-28s %8.3f s   qarvo %8.3f s   ratio %.2fx\n' "$1" "$4" "$2" "$3" \
    "$(echo "$3 / $2" | bc -l)"
}
echo "files in the page cache, best of $runs (ratio = qarvo / reference, target <= 1.0x)"
row sha256 "$(fastest "${sha_t[@]}")" "$(fastest "${expect_t[@]}")" "sha256sum (1 GiB)"
row bytes "$(fastest "${cmp_t[@]}")" "$(fastest "${bytes_t[@]}")" "cmp (2 x 1 GiB)"
row check "$(fastest "${sumc_t[@]}")" "$(fastest "${check_t[@]}")" "sha256sum -c (8 x 128 MiB)"
