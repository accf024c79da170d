#!/usr/bin/env bash
# Compares the orientation reading photo by photo: the old whole-file reading against
# readOrientation, readOrientation's decision against `exiftool -n -IFD0:Orientation`, and every
# value the metadata readers return (EXIF parser, orientation walk, structure walk) in this tree
# against an older commit's, over the test photos, the fuzzing seed corpus and a generated set
# (tool-made variants and crafted bytes, made in a temporary folder and removed afterwards).
# See bench/README.md.
# Usage: bench/compare-orientation.sh [--build-dir DIR] [--reference COMMIT] [--also DIR]...
#                                     [--no-huge] [--keep]
# --also DIR adds every file in DIR (a fuzzer's working corpus, say) to the files compared.
set -euo pipefail

BENCH_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ROOT_DIR="$(cd "$BENCH_DIR/.." && pwd)"
build_dir="$ROOT_DIR/build-bench"
# The last commit before the readers shared one marker walk, one IFD reader and one XMP scan.
reference=08e3dd2
huge=true
keep=false
also=()
usage="usage: bench/compare-orientation.sh [--build-dir DIR] [--reference COMMIT] [--also DIR]... [--no-huge] [--keep]"
while [ $# -gt 0 ]; do
    case "$1" in
    --build-dir) build_dir="$(cd "$2" && pwd)"; shift ;;
    --reference) reference="$2"; shift ;;
    --also) also+=("$(cd "$2" && pwd)"); shift ;;
    --no-huge) huge=false ;;
    --keep) keep=true ;;
    *) echo "$usage" >&2; exit 2 ;;
    esac
    shift
done

compare="$build_dir/bench/compare_orientation"
if [ ! -x "$compare" ]; then
    echo "no $compare: configure with -DPIVOTTA_BUILD_BENCH=ON and build compare_orientation" >&2
    exit 1
fi
CONVERT=/usr/bin/convert # the real ImageMagick, not a wrapper earlier on the PATH
for tool in exiftool exiv2 jpegtran python3 c++ pkg-config git "$CONVERT"; do
    command -v "$tool" >/dev/null || { echo "missing $tool (see scripts/setup.sh)" >&2; exit 1; }
done

photos="$ROOT_DIR/tests/data/orientation"
work="$(mktemp -d "${TMPDIR:-/tmp}/pivotta-compare.XXXXXX")"
cleanup() { if $keep; then echo "kept: $work" >&2; else rm -rf "$work"; fi; }
trap cleanup EXIT
gen="$work/generated"
mkdir -p "$gen"

log() { echo "[$(date +%T)] $*" >&2; }
# quiet COMMAND...: runs a tool whose chatter is of no interest; a failure only leaves a file out.
quiet() { "$@" >/dev/null 2>&1 || log "left out: $*"; }

log "making the generated set in $gen"
for photo in "$photos"/*.jpg; do
    quiet "$CONVERT" "$photo" -quality 90 "$gen/im-$(basename "$photo")"
done
for name in Landscape_2 Landscape_3 Landscape_6 Landscape_8 Portrait_6; do
    quiet "$CONVERT" "$photos/$name.jpg" -interlace JPEG -quality 90 "$gen/progressive-$name.jpg"
done
for name in Landscape_1 Landscape_6 Portrait_8; do
    quiet "$CONVERT" "$photos/$name.jpg" -colorspace CMYK "$gen/cmyk-$name.jpg"
done
for name in Landscape_6 Portrait_1; do
    quiet sh -c 'jpegtran -copy none "$0" >"$1"' "$photos/$name.jpg" "$gen/no-exif-jpegtran-$name.jpg"
    quiet exiftool -all= -o "$gen/no-exif-exiftool-$name.jpg" "$photos/$name.jpg"
done
for value in 1 2 3 6 8; do
    quiet exiftool -n -Orientation="$value" -o "$gen/exiftool-set-$value.jpg" "$photos/Landscape_1.jpg"
done
for setting in "Long 1" "Long 3" "Long 6" "Long 8" "Long 5" "Short 9" "Short 0" "Short 200"; do
    out="$gen/exiv2-$(echo "$setting" | tr 'A-Z ' 'a-z-').jpg"
    cp "$photos/Landscape_1.jpg" "$out"
    quiet exiv2 -M "set Exif.Image.Orientation $setting" "$out"
done
for name in Landscape_6 Portrait_3 Landscape_8; do
    for order in II MM; do
        quiet exiftool -ExifByteOrder=$order -o "$gen/byte-order-$order-$name.jpg" "$photos/$name.jpg"
    done
done
quiet exiftool -XMP-tiff:Orientation#=1 -o "$gen/xmp1-after-exif6.jpg" "$photos/Landscape_6.jpg"
quiet "$CONVERT" "$photos/Landscape_6.jpg" -resize 160x "$work/thumbnail.jpg"
quiet exiftool "-ThumbnailImage<=$work/thumbnail.jpg" -o "$gen/thumb6.jpg" "$photos/Landscape_6.jpg"
quiet "$CONVERT" "$photos/Landscape_6.jpg" "png:$gen/png-named.jpg"
quiet "$CONVERT" "$photos/Landscape_6.jpg" -resize 100x "gif:$gen/gif-named.jpg"
printf 'just some text\r\n' >"$gen/text-named.jpg"
: >"$gen/empty.jpg"
mkdir "$gen/folder-named.jpg"

mkdir "$work/crafted"
cp "$photos"/Landscape_1.jpg "$photos"/Landscape_6.jpg "$gen/thumb6.jpg" "$work/crafted/"
python3 "$BENCH_DIR/make-orientation-set.py" "$work/crafted" "$gen"

if $huge; then
    cp "$photos/Landscape_6.jpg" "$gen/sparse-3G-photo6.jpg"
    truncate -s 3G "$gen/sparse-3G-photo6.jpg"
    truncate -s 3G "$gen/sparse-3G-zeros.jpg"
fi

list="$work/files"
{
    ls -d "$photos"/*.jpg "$ROOT_DIR"/fuzz/corpus/*
    ls -d "$gen"/*
    for folder in "${also[@]}"; do find "$folder" -maxdepth 1 -type f; done
} >"$list"
log "$(wc -l <"$list") files: old and new reading"
"$compare" <"$list" >"$work/readings.tsv" 2>"$work/readings.err"
log "exiftool -n -IFD0:Orientation"
# One line per file that exiftool can read; "-" where IFD0 holds no orientation.
exiftool -q -q -n -f -p '$Directory/$FileName	$IFD0:Orientation' -@ "$list" >"$work/exiftool.tsv" 2>/dev/null || true

# The readers' dump, built from this tree and from the reference commit's sources alike.
build_dump() {
    local tree="$1" out="$2" sources=() file
    for file in exif/exifrecord.cpp exif/exifwalk.cpp exif/jpegmarkers.cpp exif/tiffreader.cpp \
        exif/xmppacket.cpp jpeg/jpegstructure.cpp; do
        if [ -f "$tree/$file" ]; then sources+=("$tree/$file"); fi
    done
    # shellcheck disable=SC2046 # pkg-config's flags are words
    c++ -std=c++17 -O1 -fPIC -I"$tree" $(pkg-config --cflags Qt6Core) "$BENCH_DIR/reader_dump.cpp" \
        "${sources[@]}" $(pkg-config --libs Qt6Core) -o "$out"
}
log "the readers' values: this tree against $reference"
mkdir -p "$work/reference"
git -C "$ROOT_DIR" archive "$reference" exif jpeg/jpegstructure.cpp jpeg/jpegstructure.h |
    tar -x -C "$work/reference"
build_dump "$work/reference" "$work/dump-reference"
build_dump "$ROOT_DIR" "$work/dump-now"
"$work/dump-reference" <"$list" >"$work/readers-reference.tsv"
"$work/dump-now" <"$list" >"$work/readers-now.tsv"

python3 - "$work/readings.tsv" "$work/exiftool.tsv" "$ROOT_DIR/" "$work/readers-reference.tsv" \
    "$work/readers-now.tsv" "$reference" <<'EOF'
import sys

readings, exiftool_file, root = sys.argv[1], sys.argv[2], sys.argv[3]
readers_before, readers_now, reference = sys.argv[4], sys.argv[5], sys.argv[6]
exiftool = {}
for line in open(exiftool_file, encoding="utf-8", errors="replace"):
    path, _, value = line.rstrip("\n").partition("\t")
    exiftool[path] = value

def decision(value):
    """What a value asks Pivotta to do: an angle, a mirror left alone, or a value it rejects."""
    angles = {"1": "turn 0", "3": "turn 180", "6": "turn 90", "8": "turn 270"}
    if value in angles:
        return angles[value]
    if value in ("2", "4", "5", "7"):
        return "mirrored %s, left" % value
    if value in ("-", "0", "9", "", None):
        return "turn 0"
    return "unknown %s, left" % value

rows = [line.rstrip("\n").split("\t") for line in open(readings, encoding="utf-8")]
changed = [r for r in rows if r[1] != r[3] or r[2] != r[4]]
print("== (a) old reading vs new reading: %d of %d files differ ==" % (len(changed), len(rows)))
# Files that changed in the same way are listed together.
groups = {}
for path, old_angle, old_seen, new_angle, new_seen, _ in changed:
    key = ("%s deg, %s" % (old_angle, old_seen), "%s deg, %s" % (new_angle, new_seen))
    groups.setdefault(key, []).append(path.rsplit("/", 1)[-1])
for (old, new), names in groups.items():
    print("old: %s\nnew: %s\n    %d: %s" % (old, new, len(names), " ".join(names)))
print()
differ = []
for path, _, _, new_angle, _, value in rows:
    tool = exiftool.get(path, "(no answer)")
    if decision(value) != decision(tool if tool != "(no answer)" else "-"):
        differ.append((path, value, tool, new_angle))
print("== (b) new decision vs exiftool -n -IFD0:Orientation: %d of %d files differ ==" % (len(differ), len(rows)))
for path, value, tool, angle in differ:
    print("%s: pivotta decides by %s (%s deg), exiftool says %s" % (path.rsplit("/", 1)[-1], value,
                                                                    angle, tool))
print()

def dump(name):
    """(path, reader) -> the parts of its answer, split where the dump separates them."""
    values = {}
    for line in open(name, encoding="utf-8", errors="replace"):
        path, _, rest = line.rstrip("\n").partition("\t")
        reader, _, answer = rest.partition("\t")
        values[(path, reader)] = answer.split(" | ") if " | " in answer else answer.split(" ")
    return values

before, now = dump(readers_before), dump(readers_now)
files = {path for path, _ in before} | {path for path, _ in now}
changes = {}
for key in sorted(set(before) | set(now)):
    old, new = before.get(key, ["(none)"]), now.get(key, ["(none)"])
    if old == new:
        continue
    if len(old) != len(new):
        changes.setdefault((key[1], "whole answer", " ".join(old), " ".join(new)), []).append(key[0])
        continue
    for i, (a, b) in enumerate(zip(old, new)):
        if a != b:
            changes.setdefault((key[1], "part %d" % i, a, b), []).append(key[0])
changed_files = {p for paths in changes.values() for p in paths}
print("== (c) the readers' values, %s vs this tree: %d of %d files differ ==" %
      (reference, len(changed_files), len(files)))
for (reader, part, old, new), paths in sorted(changes.items()):
    print("%s, %s: %s -> %s\n    %d: %s" % (reader, part, old, new, len(paths),
                                           " ".join(p.rsplit("/", 1)[-1] for p in paths)))
EOF
