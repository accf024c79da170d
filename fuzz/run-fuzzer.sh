#!/usr/bin/env bash
# Builds a fuzz target with libFuzzer and the address and undefined-behaviour sanitizers into
# build-fuzz/, then fuzzes it for the given number of seconds (default 60) over a working copy of
# the seed corpus. Crashes are written to build-fuzz/findings/.
# Usage: fuzz/run-fuzzer.sh [SECONDS] [TARGET]
# TARGET: readjpeg (the EXIF parser, the default), exifwalk (the marker and IFD0 walks),
# jpegstructure (the structure walk), xmppacket (the XMP scan and its value replacements) or
# pictures (the pictures of a photo, the orientation values in place and the assembly).
set -euo pipefail

seconds="${1:-60}"
target="${2:-readjpeg}"
walk=(exif/jpegmarkers.cpp exif/tiffreader.cpp exif/xmppacket.cpp)
qt=false
case "$target" in
readjpeg) sources=(exif/exifrecord.cpp exif/tiffreader.cpp) ;;
exifwalk) sources=(exif/exifwalk.cpp exif/jpegmarkers.cpp exif/tiffreader.cpp) ;;
xmppacket) sources=(exif/xmppacket.cpp) ;;
jpegstructure) sources=(engine/jpegstructure.cpp "${walk[@]}"); qt=true ;;
pictures)
    sources=(engine/photopictures.cpp engine/photoassembly.cpp engine/multipictureindex.cpp
        engine/orientationvalues.cpp engine/keptbytes.cpp engine/jpegstructure.cpp "${walk[@]}")
    qt=true ;;
*) echo "unknown fuzz target: $target" >&2; exit 2 ;;
esac
source_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="$source_dir/build-fuzz"
work_corpus="$build_dir/corpus-$target"
findings="$build_dir/findings"

flags=()
libraries=()
if $qt; then
    # shellcheck disable=SC2207 # pkg-config's flags are words
    flags=(-fPIC $(pkg-config --cflags Qt6Core))
    # shellcheck disable=SC2207
    libraries=($(pkg-config --libs Qt6Core))
fi
mkdir -p "$build_dir" "$work_corpus" "$findings"
clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$source_dir" "${flags[@]}" \
    "$source_dir/fuzz/fuzz_$target.cpp" "${sources[@]/#/$source_dir/}" "${libraries[@]}" \
    -o "$build_dir/fuzz_$target"

cp -n "$source_dir"/fuzz/corpus/* "$work_corpus"/
cd "$build_dir"
exec "./fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
    -dict="$source_dir/fuzz/exif.dict" -artifact_prefix="$findings/" "$work_corpus"
