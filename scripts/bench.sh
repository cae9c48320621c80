#!/usr/bin/env bash
# Sets everything up, builds the benchmarks in Release and runs them: the
# store and formatting benchmarks (arguments go to them), then the all-data
# list on a million results and the program's resident size with it open.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh" --bench
build=${BENCH_DIR:-$here/build-bench}
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTAV_BUILD_BENCH=ON \
      -DTAV_BUILD_TESTS=OFF -DTAV_BUILD_UI=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target tav_bench tav_list_bench
"$build/bench/tav_bench" "$@"
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
"$build/bench/tav_list_bench"
"$build/bench/tav_list_bench" --program
