#!/usr/bin/env bash
# Installs what the build and the program need on Debian 12, when missing.
# Works as root or through sudo; does nothing when everything is present.
set -euo pipefail

PACKAGES=(cmake g++ make pkg-config
          qt6-base-dev qt6-charts-dev libqt6opengl6-dev qt6-svg-dev
          libsqlite3-dev libgtest-dev libgmock-dev xvfb xauth poppler-utils
          fonts-dejavu-core)  # the lists' and the port dialog's fonts
case "${1:-}" in
    --bench) PACKAGES+=(libbenchmark-dev) ;;
    --fuzz) PACKAGES+=(clang-14 libclang-rt-14-dev) ;;  # libFuzzer and the sanitizers' runtimes
esac

as_root() {
    if [[ $(id -u) -eq 0 ]]; then "$@"; else sudo "$@"; fi
}

missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    as_root apt-get update -q
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
fi

# Desk access to the analyzer's USB-to-serial cable.
here=$(cd "$(dirname "$0")/.." && pwd)
rule=/etc/udev/rules.d/60-tavrina1c-serial.rules
if [[ -d /etc/udev/rules.d ]] && ! cmp -s "$here/res/udev/60-tavrina1c-serial.rules" "$rule"; then
    as_root install -m 0644 "$here/res/udev/60-tavrina1c-serial.rules" "$rule" || true
    command -v udevadm >/dev/null && as_root udevadm control --reload-rules 2>/dev/null || true
fi
