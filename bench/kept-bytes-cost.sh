#!/usr/bin/env bash
# What keeping every byte costs per photo: Pivotta's headless batch (`pivotta --headless --jobs 1
# FOLDER`) over photos of 4000x3000 that need turning, timed as a whole process with GNU time on a
# fresh copy of the set each run (the copy is not timed), rounds run back to back so that each
# ratio is taken between neighbouring runs:
#   - plain photos (no thumbnail, XMP or data after the image): this build / an older build
#     (target at most 1.03);
#   - the same photos with an EXIF thumbnail, XMP tiff:Orientation and 1 MB after the image /
#     the plain ones, both with this build (target at most 1.10);
#   - the same photos with a gain map of a quarter of their sides, listed in a multi-picture
#     index and an XMP container directory as phones write them, which is turned too / the plain
#     ones, both with this build (target at most 1.15).
# See bench/README.md. Usage: bench/kept-bytes-cost.sh --old-build DIR [options]
set -euo pipefail

BENCH_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ROOT_DIR="$(cd "$BENCH_DIR/.." && pwd)"

build_dir="$ROOT_DIR/build-bench"
old_build=""
photos=20
repeats=7
photo_size="4000x3000"
trailer_bytes=$((1024 * 1024))
standard_tables=false
keep=false

usage() {
    cat <<'EOF'
usage: bench/kept-bytes-cost.sh --old-build DIR [options]
  --old-build DIR   build folder of the older Pivotta to compare plain photos with (a release
                    build of another worktree, e.g. at the commit before the change)
  --build-dir DIR   build folder of this Pivotta (default: build-bench)
  --photos N        photos per set, tagged 6, 3 and 8 in turn (default 20)
  --repeats N       counted rounds after one warm-up round; medians are reported (default 7)
  --size WxH        photo size (default 4000x3000)
  --standard-tables photos coded with the standard Huffman tables, as most cameras write them,
                    instead of ImageMagick's optimised ones
  --keep            keep the temporary folder with the sets and the timings
EOF
}

while [ $# -gt 0 ]; do
    case "$1" in
    --old-build) old_build="$(cd "$2" && pwd)"; shift ;;
    --build-dir) build_dir="$(cd "$2" && pwd)"; shift ;;
    --photos) photos="$2"; shift ;;
    --repeats) repeats="$2"; shift ;;
    --size) photo_size="$2"; shift ;;
    --standard-tables) standard_tables=true ;;
    --keep) keep=true ;;
    -h | --help) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
    esac
    shift
done

new_pivotta="$build_dir/pivotta"
old_pivotta="$old_build/pivotta"
gainmap_maker="$build_dir/bench/bench_losslessturn"
[ -x "$gainmap_maker" ] || { echo "no $gainmap_maker: build with -DPIVOTTA_BUILD_BENCH=ON" >&2; exit 1; }
for program in "$new_pivotta" "$old_pivotta"; do
    [ -x "$program" ] || { echo "no pivotta at $program (see bench/README.md)" >&2; exit 1; }
done
for tool in jpegtran djpeg cjpeg exiv2 exiftool /usr/bin/convert /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "$tool is missing: run scripts/setup.sh" >&2; exit 1; }
done

work="$(mktemp -d "${TMPDIR:-/tmp}/pivotta-kept-bytes.XXXXXX")"
cleanup() { if $keep; then echo "kept: $work"; else rm -rf "$work"; fi; }
trap cleanup EXIT

log() { echo "[$(date +%T)] $*" >&2; }

# ---- the two sets ----
make_sets() {
    local masters="$work/masters" tag i name
    mkdir -p "$masters" "$work/plain" "$work/full" "$work/gainmap"
    log "making $photos photos of $photo_size: plain, with thumbnail, XMP and trailing data, and with a gain map"
    /usr/bin/convert "$ROOT_DIR/tests/data/orientation/Landscape_1.jpg" -resize "${photo_size}!" \
        -seed 1 -attenuate 0.25 +noise Gaussian -quality 85 "$masters/base.jpg"
    if $standard_tables; then # jpegtran without -optimize writes the standard tables
        jpegtran -copy all -outfile "$masters/standard.jpg" "$masters/base.jpg"
        mv "$masters/standard.jpg" "$masters/base.jpg"
    fi
    # A 160x120 thumbnail as cameras write it, and data after the image as a motion photo has.
    djpeg -scale 1/8 "$masters/base.jpg" | cjpeg -quality 80 -sample 2x1 |
        jpegtran -copy none -crop 160x120+0+0 >"$masters/thumb.jpg"
    head -c "$trailer_bytes" /dev/zero | tr '\0' '\125' >"$masters/trailer"
    for tag in 3 6 8; do
        cp "$masters/base.jpg" "$masters/plain$tag.jpg"
        exiftool -q -overwrite_original -n -Orientation="$tag" "$masters/plain$tag.jpg"
        cp "$masters/plain$tag.jpg" "$masters/full$tag.jpg"
        cp "$masters/thumb.jpg" "$masters/full$tag-thumb.jpg" # exiv2 -it reads NAME-thumb.jpg
        exiv2 -it "$masters/full$tag.jpg"
        exiftool -q -overwrite_original -n -XMP-tiff:Orientation="$tag" "$masters/full$tag.jpg"
        cat "$masters/trailer" >>"$masters/full$tag.jpg"
        "$gainmap_maker" gainmap "$masters/plain$tag.jpg" "$masters/gainmap$tag.jpg"
    done
    for ((i = 1; i <= photos; i++)); do
        case $((i % 3)) in 1) tag=6 ;; 2) tag=3 ;; 0) tag=8 ;; esac
        printf -v name 'IMG_%04d.jpg' "$i"
        cp "$masters/plain$tag.jpg" "$work/plain/$name"
        cp "$masters/full$tag.jpg" "$work/full/$name"
        cp "$masters/gainmap$tag.jpg" "$work/gainmap/$name"
    done
}

# ---- one timed run ----
# timed_run NAME PIVOTTA SET: rotates a fresh copy of SET; prints "wall cpu" in seconds.
timed_run() {
    local name="$1" program="$2" set="$3"
    local folder="$work/run-$name" config="$work/config-$name"
    rm -rf "$folder" "$config"
    cp -r "$work/$set" "$folder"
    mkdir -p "$config/Tavlund"
    # As Preferences writes it at first start.
    printf '[General]\ntrim=true\n' >"$config/Tavlund/Pivotta.ini"
    sync
    QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$config" HOME="$work" \
        /usr/bin/time -f '%e %U %S' -o "$work/$name.time" \
        "$program" --headless --jobs 1 "$folder" >"$work/$name.out" 2>&1 || true
    local left
    # shellcheck disable=SC2016 # $Orientation is exiftool's, not the shell's
    left=$(exiftool -q -n -p '$Orientation' "$folder" | grep -cv '^1$' || true)
    [ "$left" -eq 0 ] || { echo "$name: $left photos were not turned, see $work/$name.out" >&2; exit 1; }
    awk '{ printf "%s %.2f\n", $1, $2 + $3 }' "$work/$name.time"
}

median() {
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END {
        if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }

verdict() { awk -v v="$1" -v l="$2" 'BEGIN { print (v <= l) ? "met" : "MISSED" }'; }

make_sets
declare -a old_wall new_wall full_wall gain_wall old_cpu new_cpu full_cpu gain_cpu
declare -a plain_ratio full_ratio gain_ratio
for ((round = 0; round <= repeats; round++)); do
    read -r ow oc < <(timed_run old "$old_pivotta" plain)
    read -r nw nc < <(timed_run new "$new_pivotta" plain)
    read -r fw fc < <(timed_run full "$new_pivotta" full)
    read -r gw gc < <(timed_run gainmap "$new_pivotta" gainmap)
    log "round $round: old $ow s, new $nw s, new with all three $fw s, new with a gain map $gw s (wall)"
    [ "$round" -eq 0 ] && continue # warm-up
    old_wall+=("$ow") new_wall+=("$nw") full_wall+=("$fw") gain_wall+=("$gw")
    old_cpu+=("$oc") new_cpu+=("$nc") full_cpu+=("$fc") gain_cpu+=("$gc")
    plain_ratio+=("$(ratio "$nw" "$ow")") full_ratio+=("$(ratio "$fw" "$nw")")
    gain_ratio+=("$(ratio "$gw" "$nw")")
done

plain_median=$(median "${plain_ratio[@]}")
full_median=$(median "${full_ratio[@]}")
gain_median=$(median "${gain_ratio[@]}")
echo "$photos photos of $photo_size, --jobs 1, $repeats rounds; medians (wall s / CPU s):"
echo "  old build, plain:         $(median "${old_wall[@]}") / $(median "${old_cpu[@]}")"
echo "  this build, plain:        $(median "${new_wall[@]}") / $(median "${new_cpu[@]}")"
echo "  this build, all three:    $(median "${full_wall[@]}") / $(median "${full_cpu[@]}")"
echo "  this build, gain map:     $(median "${gain_wall[@]}") / $(median "${gain_cpu[@]}")"
echo "  plain, this / old:        $plain_median   (pairs: ${plain_ratio[*]})   target <= 1.03: $(verdict "$plain_median" 1.03)"
echo "  all three / plain:        $full_median   (pairs: ${full_ratio[*]})   target <= 1.10: $(verdict "$full_median" 1.10)"
echo "  gain map / plain:         $gain_median   (pairs: ${gain_ratio[*]})   target <= 1.15: $(verdict "$gain_median" 1.15)"
