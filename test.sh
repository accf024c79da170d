#!/usr/bin/env bash
# Builds Pivotta and its tests (installing what is missing) and runs every test headless.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/scripts/setup.sh"
install_packages "${PIVOTTA_PACKAGES[@]}"
configure_and_build -DPIVOTTA_BUILD_TESTS=ON
cd "$PIVOTTA_BUILD"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)" "$@"
