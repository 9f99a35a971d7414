#!/usr/bin/env bash
# The bundle, compare and MP3 cut jobs side by side with the shell tools that do the same
# work, on 1 GiB files in the page cache; every tool is timed in turn, the best run counts.
#   bundle:  qarvo bundle HEAD TAIL          vs  cat TAIL >> HEAD        (1 GiB tail)
#   compare: qarvo compare A B --md5         vs  md5sum A B              (two 1 GiB files)
#   mp3cut:  qarvo mp3cut (512 MiB of 1 GiB) vs  tail -c +N | head -c M
# Usage: bench/tools/run.sh [runs]   (QARVO_BENCH_DIR: where the files go;
#                                     QARVO_BENCH_BUILD: the release build folder)
set -euo pipefail
cd "$(dirname "$0")/../.."
runs=${1:-3}
source bench/common.sh
gib=$((1 << 30))
mib=$((1 << 20))
head -c "$gib" /dev/urandom >"$dir/a.bin"
cp "$dir/a.bin" "$dir/b.bin"
head -c "$mib" /dev/urandom >"$dir/head.orig"
cat "$dir/a.bin" "$dir/b.bin" >/dev/null  # into the page cache
sync

# Each bundle run starts from the same 1 MiB head.
fresh_head() { cp "$dir/head.orig" "$dir/head.bin"; sync; }
cat_append() { cat "$dir/a.bin" >>"$dir/head.bin"; }
qarvo_bundle() { "$qarvo" bundle "$dir/head.bin" "$dir/a.bin"; }

# 512 MiB from offset 256 MiB: a 1 GiB file "playing" 1024 s has 1 MiB a second, so
# 00:04:16 to 00:12:48 is that span.
cut_offset=$((256 * mib))
cut_length=$((512 * mib))
shell_cut() { tail -c +$((cut_offset + 1)) "$dir/a.bin" | head -c "$cut_length" >"$dir/shell-cut.bin"; }
qarvo_cut() {
  "$qarvo" mp3cut "$dir/a.bin" --length 00:17:04 --start 00:04:16 --end 00:12:48 --out "$dir"
}

cat_t=() bundle_t=() md5sum_t=() compare_t=() tail_t=() cut_t=()
for ((i = 0; i < runs; i++)); do
  fresh_head
  cat_t+=("$(seconds cat_append)")
  fresh_head
  bundle_t+=("$(seconds qarvo_bundle)")
  md5sum_t+=("$(seconds md5sum "$dir/a.bin" "$dir/b.bin")")
  compare_t+=("$(seconds "$qarvo" compare "$dir/a.bin" "$dir/b.bin" --md5)")
  rm -f "$dir/shell-cut.bin" "$dir/a剪辑.mp3"
  sync
  tail_t+=("$(seconds shell_cut)")
  sync
  cut_t+=("$(seconds qarvo_cut)")
done

# The results must be the same bytes as the shell tools'.
expected_head=$(cat "$dir/head.orig" "$dir/a.bin" | md5sum | cut -d' ' -f1)
[ "$(md5sum <"$dir/head.bin" | cut -d' ' -f1)" = "$expected_head" ] || {
  echo "bundle result differs from cat" >&2
  exit 1
}
cmp -s "$dir/shell-cut.bin" "$dir/a剪辑.mp3" || {
  echo "mp3cut result differs from tail | head" >&2
  exit 1
}
"$qarvo" compare "$dir/a.bin" "$dir/b.bin" --md5 | grep -qx '两文件相同' || {
  echo "compare did not find the copies equal" >&2
  exit 1
}

row() {  # name, reference seconds, qarvo seconds, reference name
  printf '%-8s %-28s %8.3f s   qarvo %8.3f s   ratio %.2fx\n' "$1" "$4" "$2" "$3" \
    "$(echo "$3 / $2" | bc -l)"
}
echo "1 GiB files in the page cache, best of $runs (ratio = qarvo / reference, target <= 1.0x)"
row bundle "$(fastest "${cat_t[@]}")" "$(fastest "${bundle_t[@]}")" "cat tail >> head"
row compare "$(fastest "${md5sum_t[@]}")" "$(fastest "${compare_t[@]}")" "md5sum a b"
row mp3cut "$(fastest "${tail_t[@]}")" "$(fastest "${cut_t[@]}")" "tail -c +N | head -c M"
