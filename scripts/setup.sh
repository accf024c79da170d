#!/usr/bin/env bash
# Shared set-up for run.sh and test.sh: installs the Debian packages Pivotta needs when any is
# missing, then configures and builds the project incrementally in ./build.
# Run on its own, it only installs the packages.
set -euo pipefail

PIVOTTA_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
PIVOTTA_BUILD="${PIVOTTA_BUILD:-$PIVOTTA_ROOT/build}"

# Packages for building, for the external tools and for the tests' own checks.
PIVOTTA_PACKAGES=(
    cmake g++ make pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev libqt6opengl6-dev
    libjpeg-turbo-progs exiv2
    fonts-dejavu-core
    desktop-file-utils appstream
    dpkg-dev file
    exiftran libimage-exiftool-perl imagemagick time
    acl attr
)

missing_packages() {
    local package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
            echo "$package"
        fi
    done
}

install_packages() {
    local missing
    missing=$(missing_packages "$@")
    [ -z "$missing" ] && return 0
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null; then
            echo "sudo is not installed: install these packages as root, then run this again:" >&2
            echo "  apt-get install" $missing >&2
            return 1
        fi
        sudo="sudo"
    fi
    echo "Installing missing packages:" $missing
    $sudo apt-get update -qq
    # sudo drops the caller's environment; env hands the setting to apt-get itself.
    # shellcheck disable=SC2086
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing
}

configure_and_build() {
    cmake -S "$PIVOTTA_ROOT" -B "$PIVOTTA_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$PIVOTTA_BUILD" -j "$(nproc)"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    install_packages "${PIVOTTA_PACKAGES[@]}"
fi
