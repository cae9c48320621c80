#!/usr/bin/env bash
# Builds the core library and its threaded tests with ThreadSanitizer and runs
# them (serial watcher, hand-off, link worker, end-to-end downloads).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh"
build=${TSAN_DIR:-$here/build-tsan}
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAV_TSAN=ON -DTAV_BUILD_UI=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target test_platform test_link test_protocol analyzer-sim
cd "$build"
TSAN_OPTIONS="halt_on_error=1" ctest --output-on-failure -j"$(nproc)" -R "^(QueueHandoff|EventSet|PortFixture|SerialPort|LinkWorker|EndToEnd)" 
