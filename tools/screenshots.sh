#!/usr/bin/env bash
# Takes the pictures in docs/screenshots/ (home.png, port-select.png,
# downloading.png, download-view.png, settings.png, list-view.png,
# list-search.png, data-modify.png, data-view.png, about.png, graph-view.png, print-preview.png and
# printed-page.png) of the real window under Xvfb, with a manual download from
# analyzer-sim. The printed page is drawn from the PDF by pdftoppm
# (poppler-utils). Builds tav-screenshots and analyzer-sim
# into $BUILD_DIR (default build/) if needed.
#
#   tools/screenshots.sh [OUT_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$here/build}
out=${1:-$here/docs/screenshots}

if [[ ! -f $build/CMakeCache.txt ]]; then
    cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAV_BUILD_UI=ON >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target tav-screenshots analyzer-sim >/dev/null

mkdir -p "$out"
xvfb-run -a -s "-screen 0 1280x1024x24" \
    env QT_QPA_PLATFORM=xcb "$build/tav-screenshots" --sim "$build/analyzer-sim" --out "$(cd "$out" && pwd)"
