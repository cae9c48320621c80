#!/usr/bin/env bash
# Builds the fuzz targets of tests/fuzz with clang (libFuzzer, ASan, UBSan)
# and runs each for the given seconds (default 60) from its seed corpus.
# A crash, a sanitizer finding or a failed invariant fails the run; the
# input is kept in build-fuzz/artifacts/. Prints the executions per target.
#   scripts/fuzz.sh [seconds] [target...]   targets: ini memory_file ...
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
"$here/scripts/setup.sh" --fuzz
build=${FUZZ_DIR:-$here/build-fuzz}
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
CC=clang-14 CXX=clang++-14 cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTAV_FUZZ=ON -DTAV_BUILD_UI=OFF -DTAV_BUILD_TESTS=OFF "${launcher[@]}" >/dev/null

targets=("$@")
if ((${#targets[@]} == 0)); then
    for f in "$here"/tests/fuzz/*_fuzz.cpp; do
        name=$(basename "$f" _fuzz.cpp)
        targets+=("$name")
    done
fi
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/#/fuzz_}" >/dev/null

mkdir -p "$build/artifacts" "$build/logs"
passed=0 failed=0 total=0
printf '%-18s %12s %10s %s\n' target executions exec/s result
for name in "${targets[@]}"; do
    # New inputs go to a corpus of the build; the seeds in the repository stay as they are.
    work="$build/corpus/$name"
    mkdir -p "$work"
    log="$build/logs/$name.log"
    status=0
    (cd "$build" && "$build/tests/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/artifacts/$name-" \
        "$work" "$here/tests/fuzz/corpus/$name") >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    if ((status == 0)); then
        result=ok
        passed=$((passed + 1))
    else
        result="FAILED (exit $status, see $log)"
        failed=$((failed + 1))
        grep -E 'invariant failed|ERROR: |SUMMARY: |runtime error' "$log" | head -5 >&2 || true
    fi
    total=$((total + ${runs:-0}))
    printf '%-18s %12s %10s %s\n' "$name" "${runs:-?}" "${rate:-?}" "$result"
done
printf '%-18s %12s\n' total "$total"
echo "fuzz: $passed passed, $failed failed"
((failed == 0))
