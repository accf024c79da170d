#!/usr/bin/env bash
# Builds a fuzz target with clang's libFuzzer and the address and undefined-behaviour sanitizers
# into build-fuzz/ (the same CMake targets the tests build and run over the seed corpus), then
# fuzzes it for the given number of seconds (default 60) over a working copy of the seed corpus.
# Crashes are written to build-fuzz/findings/.
# Usage: fuzz/run-fuzzer.sh [SECONDS] [TARGET]
# TARGET: readjpeg (the EXIF parser, the default), exifwalk (the marker and IFD0 walks),
# jpegstructure (the structure walk), xmppacket (the XMP scan and its value replacements) or
# pictures (the pictures of a photo, the orientation values in place, the assembly and the
# metadata carried over to a picture encoded anew).
set -euo pipefail

seconds="${1:-60}"
target="${2:-readjpeg}"
case "$target" in
readjpeg | exifwalk | jpegstructure | xmppacket | pictures) ;;
*) echo "unknown fuzz target: $target" >&2; exit 2 ;;
esac
source_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="$source_dir/build-fuzz"
work_corpus="$build_dir/corpus-$target"
findings="$build_dir/findings"

CC=clang CXX=clang++ cmake -S "$source_dir" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPIVOTTA_BUILD_FUZZ=ON -DPIVOTTA_FUZZ_REQUIRE_LIBFUZZER=ON >/dev/null
cmake --build "$build_dir" --target "fuzz_$target" -j "$(nproc)"

mkdir -p "$work_corpus" "$findings"
cp -n "$source_dir"/fuzz/corpus/* "$work_corpus"/
cd "$build_dir"
exec "fuzz/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
    -dict="$source_dir/fuzz/exif.dict" -artifact_prefix="$findings/" "$work_corpus"
