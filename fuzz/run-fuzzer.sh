#!/usr/bin/env bash
# Builds the EXIF parser fuzz target with libFuzzer and the address and undefined-behaviour
# sanitizers into build-fuzz/, then fuzzes it for the given number of seconds (default 60) over
# a working copy of the seed corpus. Crashes are written to build-fuzz/findings/.
set -euo pipefail

seconds="${1:-60}"
source_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="$source_dir/build-fuzz"
work_corpus="$build_dir/corpus"
findings="$build_dir/findings"

mkdir -p "$build_dir" "$work_corpus" "$findings"
clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$source_dir" \
    "$source_dir/fuzz/fuzz_readjpeg.cpp" "$source_dir/exif/exifrecord.cpp" \
    -o "$build_dir/fuzz_readjpeg"

cp -n "$source_dir"/fuzz/corpus/* "$work_corpus"/
cd "$build_dir"
exec ./fuzz_readjpeg -max_total_time="$seconds" -print_final_stats=1 \
    -dict="$source_dir/fuzz/exif.dict" -artifact_prefix="$findings/" "$work_corpus"
