#!/usr/bin/env bash
# Starts the program beside a simulated analyzer.
#
#   tools/demo.sh [HOME_DIR] [-- extra analyzer-sim options]
#
# Builds the program and analyzer-sim if needed (into $BUILD_DIR, default
# build/), starts analyzer-sim as a virtual Prolific port (COM7) in HOME_DIR
# (default $TAVRINA1C_HOME, else "$HOME/TAVRINA1c Expert demo") holding 20
# stored results and finishing a measurement 5 s after each greeting, then
# runs the program on that home folder. The simulator stops when the program
# ends; exports go to HOME_DIR/DATA. Manual download: Download, OK on COM7, Yes. Automatic mode: the
# Automatic button, Yes.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh"
build=${BUILD_DIR:-$here/build}
export BUILD_DIR=$build

home=${TAVRINA1C_HOME:-"$HOME/TAVRINA1c Expert demo"}
if [[ $# -gt 0 && $1 != -- ]]; then
    home=$1
    shift
fi
[[ ${1:-} == -- ]] && shift
sim_extra=("$@")

if [[ ! -x $build/tavrina1c-expert || ! -x $build/analyzer-sim ]]; then
    echo "demo: building into $build ..." >&2
    "$here/scripts/build.sh" -DTAV_BUILD_UI=ON >/dev/null
else
    cmake --build "$build" -j"$(nproc)" --target tavrina1c-expert analyzer-sim >/dev/null
fi

mkdir -p "$home"
work=$(mktemp -d)
sim_pid=
cleanup() {
    if [[ -n $sim_pid ]] && kill -0 "$sim_pid" 2>/dev/null; then
        kill -TERM "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

"$build/analyzer-sim" --home "$home" --count 20 --measure-after 5000 "${sim_extra[@]}" \
    >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 100); do
    [[ -s $work/sim.out ]] && break
    kill -0 "$sim_pid" 2>/dev/null || { echo "demo: analyzer-sim did not start" >&2; exit 1; }
    sleep 0.1
done
[[ -s $work/sim.out ]] || { echo "demo: analyzer-sim did not report its port" >&2; exit 1; }
echo "demo: analyzer on $(head -n1 "$work/sim.out"), home folder $home" >&2

status=0
# Started inside the home folder, so that its export folder DATA lands there.
(cd "$home" && TAVRINA1C_HOME=$home exec "$build/tavrina1c-expert") || status=$?
exit "$status"
