#!/usr/bin/env bash
# Builds Pivotta (installing what is missing) and starts it with the given arguments.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/scripts/setup.sh"
install_packages "${PIVOTTA_PACKAGES[@]}"
configure_and_build
exec "$PIVOTTA_BUILD/pivotta" "$@"
