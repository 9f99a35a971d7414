#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the unit and window tests
# through ctest (with them the install checks: an install into a scratch prefix and the .deb,
# label "install"), the core tests again under AddressSanitizer + UndefinedBehaviorSanitizer,
# the fuzz targets for a bounded time, and a smoke run of the program under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=${QARVO_JOBS:-2}

./scripts/install-deps.sh

echo "== build and ctest"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs" --timeout 600)

echo "== core tests under ASan + UBSan"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQARVO_GUI=OFF -DQARVO_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j"$jobs" -L core --timeout 900)

echo "== fuzz targets"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQARVO_GUI=OFF -DQARVO_TESTS=OFF -DQARVO_FUZZ=ON >/dev/null
cmake --build build-fuzz -j"$jobs"
seconds=${QARVO_FUZZ_SECONDS:-30}
for fuzzer in build-fuzz/fuzz/*_fuzz; do
  [ -x "$fuzzer" ] || continue
  name=$(basename "$fuzzer")
  corpus="$root/build-fuzz/corpus-$name"
  mkdir -p "$corpus"
  seeds="$root/fuzz/seeds/$name"
  [ -d "$seeds" ] || seeds=""
  echo "-- $name for ${seconds}s"
  "$fuzzer" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=0 \
    "$corpus" $seeds 2>&1 | tail -n 3
done

if [ -x scripts/gui-smoke.sh ]; then
  echo "== program smoke run under Xvfb"
  ./scripts/gui-smoke.sh build
fi
echo "all tests passed"
