#!/usr/bin/env bash
# Runs a Windows program under Wine as CTest and the build scripts need it: in a Wine prefix of
# its own in the toolchain cache (never the user's ~/.wine), without Wine's debug chatter, with
# Qt's and MinGW's DLLs on the search path, and with a persistent wineserver, so that each start
# takes about a second instead of six.
#
#   scripts/wine-run.sh program.exe [arguments...]
#   scripts/wine-run.sh --start-server
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$ROOT/scripts/windows-common.sh"

export WINEPREFIX="${PIVOTTA_WINEPREFIX:-$WINDOWS_CACHE/wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
gcc_dir=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")
# Wine's drive Z: is the Linux root.
export WINEPATH="Z:$WINDOWS_QT/bin;Z:$gcc_dir;Z:/usr/x86_64-w64-mingw32/lib;Z:/usr/x86_64-w64-mingw32/bin"
export QT_PLUGIN_PATH="${QT_PLUGIN_PATH:-Z:$WINDOWS_QT/plugins}"

wine_program=$(command -v wine || command -v wine64)

start_server() {
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        "$wine_program" wineboot --init >/dev/null 2>&1 || true
    fi
    wineserver -p >/dev/null 2>&1 || true
}

if [ "${1:-}" = "--start-server" ]; then
    start_server
    exit 0
fi
start_server
exec "$wine_program" "$@"
