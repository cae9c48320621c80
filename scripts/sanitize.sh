#!/usr/bin/env bash
# Builds the tests with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-asan/ and runs them; any finding stops the test that made it, so the
# run fails. Then runs the threaded tests under ThreadSanitizer (scripts/tsan.sh).
#   scripts/sanitize.sh          every test, then ThreadSanitizer
#   scripts/sanitize.sh --core   only the core library's tests (no Qt), as CI does
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
core=0
case "${1:-}" in
    --core) core=1 ;;
    "") ;;
    *) echo "usage: $0 [--core]" >&2; exit 2 ;;
esac
# clang: GCC 12's vptr check reads a stale stack slot in large test bodies
# and reports objects that are sound.
"$here/scripts/setup.sh" --fuzz
build=${ASAN_DIR:-$here/build-asan}
ui=ON
if ((core)); then ui=OFF; fi
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
CC=clang-14 CXX=clang++-14 cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAV_ASAN=ON \
      -DTAV_BUILD_UI="$ui" "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"

export ASAN_OPTIONS="detect_leaks=1:check_initialization_order=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$here/tests/sanitizer/lsan.supp:print_suppressions=0"
(cd "$build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" --timeout 900)

if ((!core)); then "$here/scripts/tsan.sh"; fi
