#!/usr/bin/env bash
# Builds Pivotta for 64-bit Windows with the toolchain that scripts/windows-toolchain.sh made,
# and puts together what runs on a clean Windows:
#
#   build-windows/Pivotta/                   Pivotta.exe, pivotta.com (the console launcher), Qt's
#                                            DLLs and plugins, the MinGW runtime, jpegtran.exe,
#                                            exiv2.exe and the licences
#   build-windows/Pivotta-<version>-windows-x64.zip
#   build-windows/Pivotta-<version>-setup.exe   the installer (NSIS), with Explorer's entries
#
#   scripts/build-windows.sh           build and package
#   scripts/build-windows.sh --test    also build the tests and run them under Wine (CTest)
#
# PIVOTTA_WINDOWS_BUILD names the build folder (default ./build-windows).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$ROOT/scripts/windows-common.sh"
BUILD="${PIVOTTA_WINDOWS_BUILD:-$ROOT/build-windows}"
MINGW=x86_64-w64-mingw32
RUN_TESTS=0
[ "${1:-}" = "--test" ] && RUN_TESTS=1

if ! windows_toolchain_complete; then
    echo "The Windows toolchain is not built yet in $WINDOWS_CACHE." >&2
    echo "Build it once (about an hour) with: scripts/windows-toolchain.sh" >&2
    exit 2
fi

configure_and_build() {
    local tests=OFF
    [ "$RUN_TESTS" = 1 ] && tests=ON
    PIVOTTA_WINDOWS_PREFIX="$WINDOWS_QT" cmake -G Ninja -S "$ROOT" -B "$BUILD" \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/packaging/windows/mingw-w64.cmake" \
        -DCMAKE_BUILD_TYPE=Release \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DCMAKE_CROSSCOMPILING_EMULATOR="$ROOT/scripts/wine-run.sh" \
        -DPIVOTTA_WINDOWS_TOOLS_DIR="$WINDOWS_TOOLS" \
        -DPIVOTTA_BUILD_TESTS="$tests" >/dev/null
    cmake --build "$BUILD" --parallel "$(nproc)"
}

# The MinGW runtime DLLs that the program and Qt link against.
runtime_dlls() {
    local gcc_dir
    gcc_dir=$(dirname "$($MINGW-g++-posix -print-libgcc-file-name)")
    echo "$gcc_dir/libstdc++-6.dll" "$gcc_dir/libgcc_s_seh-1.dll"
    echo "/usr/$MINGW/lib/libwinpthread-1.dll" "/usr/$MINGW/bin/zlib1.dll"
}

deploy() {
    local folder="$BUILD/Pivotta"
    rm -rf "$folder"
    mkdir -p "$folder"/{platforms,imageformats,iconengines,styles,licences}
    cp "$BUILD/Pivotta.exe" "$BUILD/pivotta.com" "$folder/"
    local module
    for module in Core Gui Widgets Svg; do
        cp "$WINDOWS_QT/bin/Qt6$module.dll" "$folder/"
    done
    cp "$WINDOWS_QT/plugins/platforms/qwindows.dll" "$folder/platforms/"
    cp "$WINDOWS_QT/plugins/imageformats/"{qjpeg,qsvg}.dll "$folder/imageformats/"
    cp "$WINDOWS_QT/plugins/iconengines/qsvgicon.dll" "$folder/iconengines/"
    [ -f "$WINDOWS_QT/plugins/styles/qwindowsvistastyle.dll" ] &&
        cp "$WINDOWS_QT/plugins/styles/qwindowsvistastyle.dll" "$folder/styles/"
    # shellcheck disable=SC2046
    cp $(runtime_dlls) "$folder/"
    cp "$WINDOWS_TOOLS/jpegtran.exe" "$WINDOWS_TOOLS/exiv2.exe" "$folder/"
    cp "$WINDOWS_TOOLS"/*-LICENSE.md "$WINDOWS_TOOLS"/*-COPYING.txt "$folder/licences/"
    cp "$ROOT/packaging/debian/copyright" "$folder/licences/pivotta-copyright.txt"
    cp "$WINDOWS_QT/LICENSES/LGPL-3.0-only.txt" "$folder/licences/qt-LGPL-3.0-only.txt" 2>/dev/null ||
        true
    $MINGW-strip "$folder"/*.exe "$folder"/pivotta.com 2>/dev/null || true
}

package() {
    local version
    version=$(sed -n 's/^project(Pivotta VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")
    (cd "$BUILD" && rm -f "Pivotta-$version-windows-x64.zip" &&
        zip -qr "Pivotta-$version-windows-x64.zip" Pivotta)
    makensis -V2 -DVERSION="$version" -DSOURCE_DIR="$BUILD/Pivotta" \
        -DOUTPUT_FILE="$BUILD/Pivotta-$version-setup.exe" "$ROOT/packaging/windows/pivotta.nsi"
    echo "Made $BUILD/Pivotta, Pivotta-$version-windows-x64.zip and Pivotta-$version-setup.exe"
}

configure_and_build
deploy
package
if [ "$RUN_TESTS" = 1 ]; then
    "$ROOT/scripts/wine-run.sh" --start-server
    (cd "$BUILD" && ctest --output-on-failure -j "$(nproc)")
fi
