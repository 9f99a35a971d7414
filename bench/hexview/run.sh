#!/usr/bin/env bash
# The hex control over files of any size, side by side in one run:
#  (a) LoadFromFile up to the first painted rows, for a sparse 64 GiB file and a 1 GiB file
#      (target under 100 ms whatever the size), beside `od` printing the first 512 bytes;
#  (b) peak memory after opening 64 GiB, scrolling to its end and painting there, against an
#      empty control painted (target: under 64 MiB more);
#  (c) one full repaint (634 x 273) at the end of 64 GiB against the same at its start (<= 1.2x);
#  (d) one byte typed at the start of 16 GiB in insert mode, and its undo (target under 1 ms);
#  (e) a search for 12 bytes at the end of a 4 GiB file through the control, against
#      `grep -c -F` and `grep -c -i -F` on the same file in the page cache (<= 1.0x each).
# Each timed contender runs `runs` times, alternating who goes first; the best run counts.
# Usage: bench/hexview/run.sh [runs]
#   QARVO_BENCH_DIR    where the files go (needs about 5 GiB of real space)
#   QARVO_HEX_BUILD    build folder with the Qt side (default build-bench-hex)
set -euo pipefail
cd "$(dirname "$0")/../.."
runs=${1:-3}
hexbuild=${QARVO_HEX_BUILD:-build-bench-hex}
if [ ! -f "$hexbuild/build.ninja" ]; then
  cmake -S . -B "$hexbuild" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQARVO_TESTS=OFF >/dev/null
fi
cmake --build "$hexbuild" -j"${QARVO_JOBS:-2}" --target hexview_bench hexfind_bench >/dev/null
bench="$PWD/$hexbuild/bench/hexview_bench"
maker="$PWD/$hexbuild/bench/hexfind_bench"
export QT_QPA_PLATFORM=offscreen

dir=$(mktemp -d "${QARVO_BENCH_DIR:-${TMPDIR:-/tmp}}/qarvo-hex-XXXXXX")
trap 'rm -rf "$dir"' EXIT
now() { date +%s.%N; }
elapsed() { echo "$2 - $1" | bc -l; }
best() { if [ -z "$1" ] || [ "$(echo "$2 < $1" | bc -l)" = 1 ]; then echo "$2"; else echo "$1"; fi; }
ms() { echo "$1 * 1000" | bc -l; }

huge="$dir/64GiB.bin"
truncate -s 64G "$huge"
printf 'QarvoNeedle!' | dd of="$huge" bs=1 seek=$(((64 << 30) - 4096)) conv=notrunc status=none
sixteen="$dir/16GiB.bin"
truncate -s 16G "$sixteen"
one="$dir/1GiB.bin"
"$maker" make "$one" $((1 << 30))
four="$dir/4GiB.bin"
"$maker" make "$four" $((4 << 30))  # random bytes ending in "QarvoNeedle!"
cat "$one" "$four" >/dev/null         # into the page cache

# (a) open to the first painted rows
oh="" o1="" ph="" p1="" dh="" d1=""
for ((run = 1; run <= runs; run++)); do
  for f in huge one; do
    path=$huge
    [ $f = one ] && path=$one
    t0=$(now); inner=$("$bench" open "$path" 2>/dev/null); t1=$(now)
    t2=$(now); od -A d -t x1z -N 512 "$path" >/dev/null; t3=$(now)
    if [ $f = huge ]; then
      oh=$(best "$oh" "$inner"); ph=$(best "$ph" "$(elapsed "$t0" "$t1")")
      dh=$(best "$dh" "$(elapsed "$t2" "$t3")")
    else
      o1=$(best "$o1" "$inner"); p1=$(best "$p1" "$(elapsed "$t0" "$t1")")
      d1=$(best "$d1" "$(elapsed "$t2" "$t3")")
    fi
  done
done
printf '%-58s %10s\n' "first painted rows, best of $runs" "ms"
printf '%-58s %10.3f\n' "64 GiB sparse: LoadFromFile + first paint" "$(ms "$oh")"
printf '%-58s %10.3f\n' "64 GiB sparse: whole process (start, open, paint, exit)" "$(ms "$ph")"
printf '%-58s %10.3f\n' "64 GiB sparse: od -N 512 (whole process)" "$(ms "$dh")"
printf '%-58s %10.3f\n' "1 GiB: LoadFromFile + first paint" "$(ms "$o1")"
printf '%-58s %10.3f\n' "1 GiB: whole process" "$(ms "$p1")"
printf '%-58s %10.3f\n' "1 GiB: od -N 512 (whole process)" "$(ms "$d1")"
printf 'target: LoadFromFile + first paint under 100 ms for both\n\n'

# (b) peak memory
empty=$("$bench" memory - 2>/dev/null)
full=$("$bench" memory "$huge" 2>/dev/null)
printf 'peak memory, empty control painted:              %8d KiB\n' "$empty"
printf 'peak memory, 64 GiB opened, at its end, painted: %8d KiB\n' "$full"
printf 'difference: %.1f MiB  (target under 64 MiB)\n\n' "$(echo "($full - $empty) / 1024" | bc -l)"

# (c) repaint at the end against the start
read -r start end < <("$bench" repaint "$huge" 200 2>/dev/null)
printf 'full repaint 634 x 273 at the start of 64 GiB:   %.3f ms\n' "$(ms "$start")"
printf 'full repaint 634 x 273 at the end of 64 GiB:     %.3f ms\n' "$(ms "$end")"
printf 'repaint ratio (end / start):                     %.2fx  (target <= 1.2x)\n\n' \
  "$(echo "$end / $start" | bc -l)"

# (d) typing at the start of 16 GiB
read -r ins und < <("$bench" type "$sixteen" 2>/dev/null)
printf 'one byte typed at the start of 16 GiB:  %.4f ms  (target under 1 ms)\n' "$(ms "$ins")"
printf 'its undo:                               %.4f ms  (target under 1 ms)\n\n' "$(ms "$und")"

# (e) search near the end of 4 GiB. The machine may be shared: beside the wall time each
# contender's CPU time (user + system) is shown, which waits for a core do not inflate.
grep_time() {  # wall, cpu, count
  local out
  out=$( { /usr/bin/time -f '%e %U %S' env LC_ALL=C grep -c "$@" >"$dir/count"; } 2>&1 || true)
  read -r wall user sys <<<"$(echo "$out" | tail -1)"
  echo "$wall $(echo "$user + $sys" | bc -l) $(cat "$dir/count")"
}
fe="" fc="" fi="" fic="" ge="" gec="" gi="" gic="" fe_at="" fi_at="" ge_n="" gi_n=""
for ((run = 1; run <= runs; run++)); do
  order="qarvo grep"
  [ $((run % 2)) = 0 ] && order="grep qarvo"
  for who in $order; do
    if [ $who = qarvo ]; then
      { read -r w c fe_at; read -r w2 c2 fi_at; } < <("$bench" find "$four" QarvoNeedle! 2>/dev/null)
      fe=$(best "$fe" "$w"); fc=$(best "$fc" "$c"); fi=$(best "$fi" "$w2"); fic=$(best "$fic" "$c2")
    else
      read -r w c ge_n < <(grep_time -F 'QarvoNeedle!' "$four")
      ge=$(best "$ge" "$w"); gec=$(best "$gec" "$c")
      read -r w c gi_n < <(grep_time -i -F 'qarvoneedle!' "$four")
      gi=$(best "$gi" "$w"); gic=$(best "$gic" "$c")
    fi
  done
done
expected=$(((4 << 30) - 12))
printf '%-50s %8s %8s  %s\n' "4 GiB, 12 bytes at the end, best of $runs" "wall s" "CPU s" "result"
printf '%-50s %8.3f %8.3f  %s\n' "Find through the control (file read in blocks)" "$fe" "$fc" "$fe_at"
printf '%-50s %8.3f %8.3f  %s\n' "LC_ALL=C grep -c -F" "$ge" "$gec" "$ge_n"
printf '%-50s %8.3f %8.3f  %s\n' "Find, ignore case" "$fi" "$fic" "$fi_at"
printf '%-50s %8.3f %8.3f  %s\n' "LC_ALL=C grep -c -i -F" "$gi" "$gic" "$gi_n"
printf 'ratio (Find / grep -F):              wall %.2fx  CPU %.2fx  (target <= 1.0x)\n' \
  "$(echo "$fe / $ge" | bc -l)" "$(echo "$fc / $gec" | bc -l)"
printf 'ratio (Find ignore case / grep -iF): wall %.2fx  CPU %.2fx  (target <= 1.0x)\n' \
  "$(echo "$fi / $gi" | bc -l)" "$(echo "$fic / $gic" | bc -l)"
if [ "$fe_at" != "$expected" ] || [ "$fi_at" != "$expected" ]; then
  echo "Find found $fe_at / $fi_at, expected $expected" >&2
  exit 1
fi
