# Sourced by the benchmark scripts from the top of the tree: builds the release command line
# into $build (QARVO_BENCH_BUILD, default build-bench), sets $qarvo, makes the scratch folder
# $dir (under QARVO_BENCH_DIR or TMPDIR, removed on exit) and gives the timing helpers.
build=${QARVO_BENCH_BUILD:-build-bench}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQARVO_GUI=OFF \
  -DQARVO_TESTS=OFF >/dev/null
cmake --build "$build" -j"${QARVO_JOBS:-2}" --target qarvo >/dev/null
qarvo="$PWD/$build/qarvo"

dir=$(mktemp -d "${QARVO_BENCH_DIR:-${TMPDIR:-/tmp}}/qarvo-bench-XXXXXX")
trap 'rm -rf "$dir"' EXIT

now() { date +%s.%N; }
elapsed() { echo "$2 - $1" | bc -l; }
# The smaller of a best-so-far (may be empty) and a new time.
best() { if [ -z "$1" ] || [ "$(echo "$2 < $1" | bc -l)" = 1 ]; then echo "$2"; else echo "$1"; fi; }
# Wall-clock seconds of one command, stdout dropped; the smallest of a list of times.
seconds() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null
  end=$(date +%s%N)
  echo "scale=3; ($end - $start) / 1000000000" | bc -l
}
fastest() { printf '%s\n' "$@" | sort -g | head -n 1; }
