#!/usr/bin/env bash
# Builds, once, what the Windows build of Pivotta needs and Debian does not ship: Qt (qtbase and
# qtsvg), jpegtran.exe and exiv2.exe for 64-bit Windows, cross-built with MinGW-w64 from Debian's
# own source packages. Everything lands in a cache folder outside the checkout; a complete cache
# makes this script do nothing.
#
#   PIVOTTA_WINDOWS_CACHE  the cache folder (default ~/.cache/pivotta-windows)
#   PIVOTTA_QTSVG_SOURCE   Qt SVG 6.4.2's source tarball (qtsvg-everywhere-src-6.4.2.tar.xz);
#                          without it the tarball is downloaded from download.qt.io
#   PIVOTTA_WINDOWS_JOBS   parallel compile jobs (default: the number of cores)
#
# Takes about an hour of a 2-core machine, most of it qtbase; a step that was finished is not
# done again when the script runs a second time.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=scripts/setup.sh
source "$ROOT/scripts/setup.sh"
source "$ROOT/scripts/windows-common.sh"

JOBS="${PIVOTTA_WINDOWS_JOBS:-$(nproc)}"
QT_VERSION=6.4.2
QTSVG_URL="https://download.qt.io/archive/qt/6.4/$QT_VERSION/submodules/qtsvg-everywhere-src-$QT_VERSION.tar.xz"
STAMPS="$WINDOWS_CACHE/stamps"
SOURCES="$WINDOWS_CACHE/src"
BUILDS="$WINDOWS_CACHE/build"
TOOLCHAIN="$ROOT/packaging/windows/mingw-w64.cmake"

WINDOWS_PACKAGES=(
    mingw-w64 gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
    wine wine64 nsis zip
    cmake ninja-build nasm perl python3 dpkg-dev xz-utils curl ca-certificates
    qt6-base-dev qt6-base-dev-tools
)

say() { printf '\n== %s\n' "$*"; }

# Runs a step once: its stamp file marks it as done.
step() {
    local name=$1
    shift
    if [ -f "$STAMPS/$name" ]; then
        return 0
    fi
    say "$name"
    "$@"
    mkdir -p "$STAMPS"
    touch "$STAMPS/$name"
}

as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    else
        sudo "$@"
    fi
}

enable_source_packages() {
    if apt-cache showsrc qt6-base 2>/dev/null | grep -q '^Package:'; then
        return 0
    fi
    as_root tee /etc/apt/sources.list.d/pivotta-deb-src.sources >/dev/null <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
    as_root apt-get update -qq
}

# Unpacks a Debian source package into $SOURCES/<package>, taking the newest version that
# downloads (a security update's files are sometimes gone from the mirror).
fetch_source() {
    local package=$1 version
    local work="$SOURCES/.fetch-$package"
    rm -rf "$work" "${SOURCES:?}/$package"
    mkdir -p "$work"
    for version in $(apt-cache showsrc "$package" | awk '/^Version:/ { print $2 }' | sort -rV -u); do
        if (cd "$work" && apt-get source -qq "$package=$version" >/dev/null 2>&1); then
            mv "$(find "$work" -mindepth 1 -maxdepth 1 -type d | head -n 1)" "$SOURCES/$package"
            rm -rf "$work"
            echo "$package $version"
            return 0
        fi
        echo "$package $version could not be fetched; trying an older version"
        rm -rf "${work:?}"/*
    done
    echo "No version of the source package $package could be fetched" >&2
    return 1
}

fetch_qtsvg() {
    local tarball="$SOURCES/qtsvg-everywhere-src-$QT_VERSION.tar.xz"
    if [ -n "${PIVOTTA_QTSVG_SOURCE:-}" ]; then
        cp "$PIVOTTA_QTSVG_SOURCE" "$tarball"
    else
        curl -fL --retry 3 -o "$tarball" "$QTSVG_URL"
    fi
    rm -rf "$SOURCES/qtsvg"
    mkdir -p "$SOURCES/qtsvg"
    tar -xJf "$tarball" -C "$SOURCES/qtsvg" --strip-components=1
}

fetch_sources() {
    mkdir -p "$SOURCES"
    step source-qtbase fetch_source qt6-base
    step source-libjpeg-turbo fetch_source libjpeg-turbo
    step source-expat fetch_source expat
    step source-exiv2 fetch_source exiv2
    step source-qtsvg fetch_qtsvg
}

cmake_for_windows() {
    local source=$1 build=$2
    shift 2
    cmake -G Ninja -S "$source" -B "$build" \
        -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DCMAKE_BUILD_TYPE=Release "$@"
    cmake --build "$build" --parallel "$JOBS"
}

# Qt for Windows, as shared libraries: only what Pivotta uses (Core, Gui, Widgets, Test and the
# platform plugins windows and offscreen; no OpenGL, SQL, network or D-Bus). The tools that run
# during the build (moc, rcc, uic) come from Debian's Qt of the same version.
build_qtbase() {
    local build="$BUILDS/qtbase"
    rm -rf "$build"
    # Debian's cleaned source has no Wintab header, so tablets stay off; FreeType draws the text
    # of the offscreen platform that the tests use.
    cmake_for_windows "$SOURCES/qt6-base" "$build" \
        -DCMAKE_INSTALL_PREFIX="$WINDOWS_QT" \
        -DQT_HOST_PATH=/usr \
        -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
        -DFEATURE_opengl=OFF -DINPUT_opengl=no \
        -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF \
        -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
        -DFEATURE_tabletevent=OFF \
        -DFEATURE_freetype=ON -DFEATURE_system_freetype=OFF \
        -DFEATURE_system_zlib=ON \
        -DFEATURE_jpeg=ON -DFEATURE_system_jpeg=OFF -DFEATURE_png=ON -DFEATURE_system_png=OFF
    cmake --install "$build"
}

build_qtsvg() {
    local build="$BUILDS/qtsvg"
    rm -rf "$build"
    cmake -G Ninja -S "$SOURCES/qtsvg" -B "$build" \
        -DCMAKE_TOOLCHAIN_FILE="$WINDOWS_QT/lib/cmake/Qt6/qt.toolchain.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
    cmake --build "$build" --parallel "$JOBS"
    cmake --install "$build"
}

# The tools are linked statically, so each is one .exe beside Pivotta.exe.
STATIC_FLAGS="-static -static-libgcc -static-libstdc++"

build_jpegtran() {
    local build="$BUILDS/libjpeg-turbo"
    rm -rf "$build"
    cmake_for_windows "$SOURCES/libjpeg-turbo" "$build" \
        -DCMAKE_INSTALL_PREFIX="$WINDOWS_DEPS" \
        -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_JAVA=OFF \
        -DCMAKE_EXE_LINKER_FLAGS="$STATIC_FLAGS"
    mkdir -p "$WINDOWS_TOOLS"
    cp "$build/jpegtran-static.exe" "$WINDOWS_TOOLS/jpegtran.exe" 2>/dev/null ||
        cp "$build/jpegtran.exe" "$WINDOWS_TOOLS/jpegtran.exe"
    cp "$SOURCES/libjpeg-turbo/LICENSE.md" "$WINDOWS_TOOLS/jpegtran-LICENSE.md"
}

build_expat() {
    local source="$SOURCES/expat" build="$BUILDS/expat"
    # expat's CMake builds take the source's own folder when it holds a CMakeLists.txt; Debian's
    # tree keeps it under expat/ in some versions.
    [ -f "$source/CMakeLists.txt" ] || source="$source/expat"
    # Debian's security patches test "XML_DTD == 1", which the template defines as empty.
    sed -i 's/^#cmakedefine XML_DTD$/#cmakedefine XML_DTD 1/' "$source/expat_config.h.cmake"
    rm -rf "$build"
    cmake_for_windows "$source" "$build" \
        -DCMAKE_INSTALL_PREFIX="$WINDOWS_DEPS" \
        -DEXPAT_SHARED_LIBS=OFF -DEXPAT_BUILD_TOOLS=OFF -DEXPAT_BUILD_EXAMPLES=OFF \
        -DEXPAT_BUILD_TESTS=OFF -DEXPAT_BUILD_DOCS=OFF -DEXPAT_BUILD_FUZZERS=OFF
    cmake --install "$build"
}

build_exiv2() {
    local build="$BUILDS/exiv2"
    rm -rf "$build"
    cmake_for_windows "$SOURCES/exiv2" "$build" \
        -DEXPAT_INCLUDE_DIR="$WINDOWS_DEPS/include" -DEXPAT_LIBRARY="$WINDOWS_DEPS/lib/libexpat.a" \
        -DZLIB_LIBRARY=/usr/x86_64-w64-mingw32/lib/libz.a -DCMAKE_CXX_FLAGS=-DXML_STATIC \
        -DBUILD_SHARED_LIBS=OFF -DEXIV2_ENABLE_XMP=ON -DEXIV2_ENABLE_PNG=ON \
        -DEXIV2_ENABLE_NLS=OFF -DEXIV2_ENABLE_WEBREADY=OFF -DEXIV2_ENABLE_CURL=OFF \
        -DEXIV2_ENABLE_VIDEO=OFF -DEXIV2_ENABLE_BMFF=ON -DEXIV2_ENABLE_PRINTUCS2=ON \
        -DEXIV2_ENABLE_LENSDATA=ON -DEXIV2_ENABLE_DYNAMIC_RUNTIME=OFF \
        -DEXIV2_BUILD_SAMPLES=OFF -DEXIV2_BUILD_EXIV2_COMMAND=ON -DEXIV2_BUILD_UNIT_TESTS=OFF \
        -DEXIV2_BUILD_DOC=OFF -DEXIV2_ENABLE_WIN_UNICODE=OFF \
        -DIconv_IS_BUILT_IN=OFF -DIconv_INCLUDE_DIR= -DIconv_LIBRARY= \
        -DCMAKE_EXE_LINKER_FLAGS="$STATIC_FLAGS" -DCMAKE_DISABLE_FIND_PACKAGE_Iconv=ON \
        -DCMAKE_DISABLE_FIND_PACKAGE_Intl=ON
    mkdir -p "$WINDOWS_TOOLS"
    cp "$build/bin/exiv2.exe" "$WINDOWS_TOOLS/exiv2.exe"
    cp "$SOURCES/exiv2/COPYING" "$WINDOWS_TOOLS/exiv2-COPYING.txt"
    cp "$SOURCES/expat/COPYING" "$WINDOWS_TOOLS/expat-COPYING.txt" 2>/dev/null ||
        cp "$SOURCES/expat/expat/COPYING" "$WINDOWS_TOOLS/expat-COPYING.txt"
}

main() {
    if windows_toolchain_complete; then
        echo "The Windows toolchain is complete in $WINDOWS_CACHE; nothing to do."
        return 0
    fi
    install_packages "${WINDOWS_PACKAGES[@]}"
    enable_source_packages
    fetch_sources
    step jpegtran build_jpegtran
    step expat build_expat
    step exiv2 build_exiv2
    step qtbase build_qtbase
    step qtsvg build_qtsvg
    windows_toolchain_complete
    say "The Windows toolchain is complete in $WINDOWS_CACHE"
}

main "$@"
