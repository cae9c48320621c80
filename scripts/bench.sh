#!/usr/bin/env bash
# Sets everything up, builds the benchmarks in Release and runs them.
#   scripts/bench.sh [--quick] [--runs N]   the clinic-scale table (100,000 and
#                                           1,000,000 stored results; --quick:
#                                           100,000 only)
#   scripts/bench.sh --micro [options]      the Google Benchmark micro figures
# Stores are built once and cached in $TAV_BENCH_CACHE (~/.cache/tav-bench).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh" --bench
build=${BENCH_DIR:-$here/build-bench}
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTAV_BUILD_BENCH=ON \
      -DTAV_BUILD_TESTS=OFF -DTAV_BUILD_UI=OFF >/dev/null
if [[ "${1:-}" == "--micro" ]]; then
  shift
  cmake --build "$build" -j"$(nproc)" --target tav_bench
  exec "$build/bench/tav_bench" "$@"
fi
cmake --build "$build" -j"$(nproc)" --target tav_scale_table
exec "$build/bench/tav_scale_table" "$@"
