#!/usr/bin/env bash
# Sets everything up, builds and starts the program.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh"
"$here/scripts/build.sh" >/dev/null
exec "${BUILD_DIR:-$here/build}/tavrina1c-expert" "$@"
