#!/usr/bin/env bash
# Sets everything up, builds the benchmarks in Release and runs them.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh" --bench
build=${BENCH_DIR:-$here/build-bench}
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTAV_BUILD_BENCH=ON \
      -DTAV_BUILD_TESTS=OFF -DTAV_BUILD_UI=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target tav_bench
exec "$build/bench/tav_bench" "$@"
