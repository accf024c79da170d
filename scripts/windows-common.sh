# Where the Windows toolchain lies, shared by the scripts that make it and use it.
# shellcheck shell=bash

WINDOWS_CACHE="${PIVOTTA_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/pivotta-windows}"
WINDOWS_QT="$WINDOWS_CACHE/qt"
WINDOWS_TOOLS="$WINDOWS_CACHE/tools"
WINDOWS_DEPS="$WINDOWS_CACHE/deps"

# True when every piece that the Windows build takes from the cache is there.
windows_toolchain_complete() {
    [ -f "$WINDOWS_CACHE/stamps/qtsvg" ] &&
        [ -f "$WINDOWS_QT/lib/cmake/Qt6Svg/Qt6SvgConfig.cmake" ] &&
        [ -f "$WINDOWS_QT/bin/Qt6Widgets.dll" ] &&
        [ -f "$WINDOWS_TOOLS/jpegtran.exe" ] &&
        [ -f "$WINDOWS_TOOLS/exiv2.exe" ]
}
