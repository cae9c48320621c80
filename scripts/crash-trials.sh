#!/usr/bin/env bash
# Crash trials of the result store: stores a download of thousands of results
# into a filled store in a child process and kills it with SIGKILL at random
# moments (a third of them inside the staging reset), then checks both files,
# the next start and a repeat download. Usage: scripts/crash-trials.sh [trials]
# (default 50). Ends with "N passed, M failed"; exits non-zero on a failure.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$here/build}
trials=${1:-50}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target tav-crash-trial >/dev/null
work=$(mktemp -d "${TMPDIR:-/tmp}/tav-crash.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$build/tav-crash-trial" trials "$trials" --dir "$work"
