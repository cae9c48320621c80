#!/usr/bin/env bash
# Sets everything up, builds the benchmarks in Release and runs them: the
# core benchmarks, then the graph and printout benchmarks (Qt, offscreen).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh" --bench
build=${BENCH_DIR:-$here/build-bench}
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTAV_BUILD_BENCH=ON \
      -DTAV_BUILD_TESTS=OFF -DTAV_BUILD_UI=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target tav_bench tav_report_bench
"$build/bench/tav_bench" "$@"
QT_QPA_PLATFORM=offscreen exec "$build/bench/tav_report_bench" "$@"
