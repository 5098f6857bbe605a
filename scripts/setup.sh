#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks for building, running and testing the
# launcher.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    # build
    g++ cmake ninja-build qt6-base-dev qt6-base-dev-tools libgl-dev libxcb1-dev
    # running on a virtual display, screenshots and driving windows in the tests
    xvfb xauth x11-utils xdotool imagemagick openbox
    # desktop integration checks and the help file
    desktop-file-utils appstream fp-utils
    # packages, fuzzing and benchmarks
    dpkg-dev fakeroot file clang libclang-rt-14-dev libbenchmark-dev libx11-dev
    # the package's check
    lintian
    # the Wayland session test: a compositor, Qt's Wayland plugin, the client library
    sway qt6-wayland libwayland-dev
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' \
        || missing+=("$package")
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
fi
