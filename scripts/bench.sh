#!/usr/bin/env bash
# Sets everything up, builds the benchmarks in Release and runs them.
#   scripts/bench.sh [--quick] [--runs N]   the clinic-scale table (100,000 and
#                                           1,000,000 stored results; --quick:
#                                           100,000 only); --end-to-end: only
#                                           the program's start-up and the
#                                           manual download through analyzer-sim
#                                           (--download-runs N: runs of it)
#   scripts/bench.sh --views [options]      the list, graph and printout figures
#                                           (Qt, offscreen)
#   scripts/bench.sh --micro [options]      the Google Benchmark micro figures
# Stores are built once and cached in $TAV_BENCH_CACHE (~/.cache/tav-bench).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh" --bench
build=${BENCH_DIR:-$here/build-bench}
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTAV_BUILD_BENCH=ON \
      -DTAV_BUILD_TESTS=OFF -DTAV_BUILD_UI=ON >/dev/null
case "${1:-}" in
  --micro)
    shift
    cmake --build "$build" -j"$(nproc)" --target tav_bench
    exec "$build/bench/tav_bench" "$@" ;;
  --views)
    shift
    targets=(tav_report_bench)
    [[ -f "$here/bench/list_bench.cpp" ]] && targets+=(tav_list_bench)
    cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"
    for t in "${targets[@]}"; do QT_QPA_PLATFORM=offscreen "$build/bench/$t" "$@"; done
    exit 0 ;;
esac
# The scale table's start-up figure starts the program offscreen.
cmake --build "$build" -j"$(nproc)" --target tav_scale_table
QT_QPA_PLATFORM=offscreen exec "$build/bench/tav_scale_table" "$@"
