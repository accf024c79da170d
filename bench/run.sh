#!/usr/bin/env bash
# Pivotta next to its peers and next to the floor its own tools set: makes realistic photo sets
# in a temporary folder, times Pivotta's batch (from its debug log), the bare jpegtran + exiv2
# sequence and exiftran on identical copies, and reports medians, ratios and peak memory.
# See bench/README.md. Usage: bench/run.sh [--smoke] [--build-dir DIR] [--repeats N] ...
set -euo pipefail

BENCH_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ROOT_DIR="$(cd "$BENCH_DIR/.." && pwd)"

# ---- options ----
build_dir="$ROOT_DIR/build-bench"
repeats=3
rotate_count=20
upright_count=500
tiny_count=10000
library_count=100000
small_count=5000
small_size="1800x1200"
messages=30000
message_window=1000
photo_size="4000x3000"
smoke=false
keep=false
quick_exit=false
only=""

usage() {
    cat <<'EOF'
usage: bench/run.sh [options]
  --build-dir DIR   build folder holding pivotta (and bench/bench_* when built with
                    -DPIVOTTA_BUILD_BENCH=ON); default: build-bench
  --repeats N       measurements per figure, the median is reported (default 3)
  --rotate N        large photos that need turning (default 20)
  --upright N       large photos that need no turning (default 500)
  --tiny N          tiny photos for the peak-memory batch (default 10000)
  --library N       tiny photos of the large-library batch, in folders of 1000 (default 100000)
  --small N         small photos with and without EXIF for the orientation reading (default 5000)
  --messages N      appends for the output-pane benchmark (default 30000)
  --quick-exit      end pivotta as soon as its batch is over instead of waiting for its own
                    10 s close countdown (figures are the same, the run is shorter)
  --only LIST       only these measurements, comma-separated: startup, rotation, eventloop,
                    scan, small, tiny, library, outputlog, reading
  --keep            keep the temporary folder with the photo sets and logs
  --smoke           tiny sizes and one repeat: only checks that everything runs and prints
EOF
}

while [ $# -gt 0 ]; do
    case "$1" in
    --build-dir) build_dir="$(cd "$2" && pwd)"; shift ;;
    --repeats) repeats="$2"; shift ;;
    --rotate) rotate_count="$2"; shift ;;
    --upright) upright_count="$2"; shift ;;
    --tiny) tiny_count="$2"; shift ;;
    --library) library_count="$2"; shift ;;
    --only) only="$2"; shift ;;
    --small) small_count="$2"; shift ;;
    --messages) messages="$2"; shift ;;
    --quick-exit) quick_exit=true ;;
    --keep) keep=true ;;
    --smoke)
        smoke=true; quick_exit=true
        repeats=1; rotate_count=3; upright_count=5; tiny_count=30; small_count=10
        library_count=200
        messages=200; message_window=50; photo_size="640x428"; small_size="320x240" ;;
    -h | --help) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
    esac
    shift
done
[ "$messages" -lt "$message_window" ] && message_window="$messages"

# ---- tools ----
SKIP=77 # what CTest is told to read as "skipped"
pivotta="$build_dir/pivotta"
bench_orientation="$build_dir/bench/bench_orientation"
bench_outputlog="$build_dir/bench/bench_outputlog"
bench_eventloop="$build_dir/bench/bench_eventloop"
bench_scan="$build_dir/bench/bench_scan"
TESTDATA_DIR="${PIVOTTA_TESTDATA_DIR:-$ROOT_DIR/tests/data}"
SOURCE_PHOTO="$TESTDATA_DIR/orientation/Landscape_1.jpg"
CONVERT=/usr/bin/convert # the real ImageMagick, not a wrapper earlier on the PATH
[ -x "$CONVERT" ] || CONVERT=convert

# Debian package of each tool the benchmark needs.
declare -A PACKAGE_OF=(
    [jpegtran]=libjpeg-turbo-progs [exiv2]=exiv2 [exiftran]=exiftran
    [exiftool]=libimage-exiftool-perl [convert]=imagemagick [/usr/bin/time]=time
)

missing_tools() {
    local tool
    for tool in "${!PACKAGE_OF[@]}"; do
        command -v "$tool" >/dev/null 2>&1 || echo "$tool"
    done
}

ensure_tools() {
    local missing
    missing=$(missing_tools)
    [ -z "$missing" ] && return 0
    if $smoke; then
        echo "bench smoke skipped, missing tools:" $missing
        exit $SKIP
    fi
    local packages=() tool
    for tool in $missing; do packages+=("${PACKAGE_OF[$tool]}"); done
    # shellcheck source=../scripts/setup.sh
    source "$ROOT_DIR/scripts/setup.sh"
    install_packages "${packages[@]}"
}

ensure_tools
if [ ! -f "$SOURCE_PHOTO" ]; then
    echo "no test photo $SOURCE_PHOTO: set PIVOTTA_TESTDATA_DIR" >&2
    $smoke && exit $SKIP
    exit 1
fi
if [ ! -x "$pivotta" ]; then
    echo "no pivotta in $build_dir: build it first, see bench/README.md" >&2
    $smoke && exit $SKIP
    exit 1
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/pivotta-bench.XXXXXX")"
running_pid="" # the one program this script has running, ended if the script is interrupted
cleanup() {
    [ -n "$running_pid" ] && kill "$running_pid" 2>/dev/null
    if $keep; then echo "kept: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

# ---- small helpers ----
log() { echo "[$(date +%T)] $*" >&2; }

now() { date +%s.%N; }

# elapsed START END: seconds between two `now` readings.
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }

# median VALUE...
median() {
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END {
        if (NR == 0) { print "n/a"; exit }
        if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# ratio A B: A / B with two decimals.
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }

# verdict VALUE LIMIT: whether VALUE <= LIMIT.
verdict() {
    if $smoke; then echo "not judged in a smoke run"; return; fi
    awk -v v="$1" -v l="$2" 'BEGIN { if (v == "n/a") print "n/a"; else if (v <= l) print "met"; else print "MISSED" }'
}

# max_rss_mb FILE: "Maximum resident set size" of a /usr/bin/time -v report, in MB.
max_rss_mb() {
    awk -F': ' '/Maximum resident set size/ { printf "%.1f", $2 / 1024 }' "$1"
}

drop_page_cache() {
    sync
    { echo 3 >/proc/sys/vm/drop_caches; } 2>/dev/null
}

# A smoke run goes without: it runs beside other tests, whose files it would push out.
can_drop_cache=false
if ! $smoke && drop_page_cache; then can_drop_cache=true; fi

warm_up() { find "$1" -type f -exec cat {} + >/dev/null; }

# ---- photo sets ----
# One large master photo per orientation value, then copies: every photo of a set is the same
# size and needs the same work, so the sets are comparable run to run.
make_masters() {
    log "making the master photos ($photo_size)"
    mkdir -p "$work/masters"
    "$CONVERT" "$SOURCE_PHOTO" -resize "${photo_size}!" \
        -seed 1 -attenuate 0.25 +noise Gaussian -quality 85 "$work/masters/base.jpg"
    local tag
    for tag in 1 3 6 8; do
        cp "$work/masters/base.jpg" "$work/masters/tag$tag.jpg"
        exiftool -q -overwrite_original -n -Orientation="$tag" "$work/masters/tag$tag.jpg"
    done
    # A tiny photo: 8 by 8 grey, tag 1.
    "$CONVERT" -size 8x8 xc:gray "$work/masters/tiny.jpg"
    exiftool -q -overwrite_original -n -Orientation=1 "$work/masters/tiny.jpg"
    # A small photo without any EXIF, and the same tagged 1.
    "$CONVERT" "$SOURCE_PHOTO" -strip -resize "${small_size}!" -quality 85 "$work/masters/small-no-exif.jpg"
    cp "$work/masters/small-no-exif.jpg" "$work/masters/small-tag1.jpg"
    exiftool -q -overwrite_original -n -Orientation=1 "$work/masters/small-tag1.jpg"
}

# Photos that need turning, tags 3, 6 and 8 in turn; manifest lines "angle path".
make_rotate_set() {
    local folder="$work/rotate-master" i tag angle name
    mkdir -p "$folder"
    : >"$work/rotate-manifest"
    for ((i = 1; i <= rotate_count; i++)); do
        case $((i % 3)) in 1) tag=6; angle=90 ;; 2) tag=3; angle=180 ;; 0) tag=8; angle=270 ;; esac
        printf -v name 'IMG_%04d.jpg' "$i"
        cp "$work/masters/tag$tag.jpg" "$folder/$name"
        echo "$angle $name" >>"$work/rotate-manifest"
    done
}

make_copies() { # MASTER_FOLDER COUNT NAME_FORMAT TARGET_FOLDER
    local master="$1" count="$2" format="$3" folder="$4"
    mkdir -p "$folder"
    seq -f "$folder/$format" 1 "$count" >"$folder.list"
    # One tee writes all copies: thousands of cp processes would take longer than the batch.
    xargs -a "$folder.list" sh -c 'tee "$@" <"$0" >/dev/null' "$master"
    rm "$folder.list"
}

fresh_rotate_copy() { # TARGET
    rm -rf "$1"
    cp -r "$work/rotate-master" "$1"
}

# ---- Pivotta ----
# run_pivotta FOLDER NAME [SETTING...] [-- ARGUMENT...]: runs the real program on FOLDER with its
# own settings (plus the INI lines SETTING, e.g. parallelRotations=1) and debug log; the ARGUMENTs
# come before the folder (e.g. --headless).
# Leaves $work/NAME.log (debug log, process time per line) and $work/NAME.time (time -v).
run_pivotta() {
    local folder="$1" name="$2"
    shift 2
    local settings=() arguments=()
    while [ $# -gt 0 ] && [ "$1" != "--" ]; do settings+=("$1"); shift; done
    [ "${1:-}" = "--" ] && shift
    arguments=("$@")
    local config="$work/$name.config"
    rm -rf "$config" && mkdir -p "$config/Tavlund" "$work/$name.home/runtime"
    chmod 700 "$work/$name.home/runtime"
    printf '[General]\ncloseAppAfterContextMenuRotate=true\ntrim=true\n' >"$config/Tavlund/Pivotta.ini"
    local setting
    for setting in "${settings[@]}"; do echo "$setting" >>"$config/Tavlund/Pivotta.ini"; done
    local log="$work/$name.log" pidfile="$work/$name.pid"
    rm -f "$pidfile"
    QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$config" HOME="$work/$name.home" \
        XDG_RUNTIME_DIR="$work/$name.home/runtime" QT_LOGGING_RULES="pivotta.debug=true" \
        QT_MESSAGE_PATTERN="%{time process} %{message}" \
        /usr/bin/time -v -o "$work/$name.time" \
        sh -c 'echo $$ >"$0"; exec "$@"' "$pidfile" "$pivotta" "${arguments[@]}" "$folder" >"$log" 2>&1 &
    local wrapper=$!
    running_pid=$wrapper
    while [ ! -s "$pidfile" ] && kill -0 "$wrapper" 2>/dev/null; do sleep 0.01; done
    [ -s "$pidfile" ] && running_pid=$(cat "$pidfile") # pivotta itself, under time
    # Limits: the batch starts about 1 s after start-up; once it is over the program quits
    # after its 10 s countdown.
    local start_by=$((SECONDS + 30)) finish_by=$((SECONDS + 1800)) exit_by="" stopped=false
    while kill -0 "$wrapper" 2>/dev/null; do
        local reason=""
        if batch_finished "$log"; then
            [ -n "$exit_by" ] || exit_by=$((SECONDS + 30))
            if $quick_exit; then
                sleep 0.5 # let the summary be written
                reason="quick exit"
            elif [ $SECONDS -gt "$exit_by" ]; then
                reason="it did not quit by itself within 30 s of its batch"
            fi
        elif [ $SECONDS -gt $start_by ] && [ -z "$(log_time_of "$log" "rotate while iterating folder start")" ]; then
            reason="its batch did not start within 30 s"
        elif [ $SECONDS -gt $finish_by ]; then
            reason="its batch did not finish within 30 minutes"
        fi
        if [ -n "$reason" ] && ! $stopped; then
            [ "$reason" = "quick exit" ] || log "stopping pivotta: $reason"
            kill "$running_pid" 2>/dev/null || true
            stopped=true
        fi
        sleep 0.1
    done
    wait "$wrapper" || true
    running_pid=""
}

# The process time of the first debug line whose message is exactly TEXT (quotes optional).
log_time_of() { # LOG TEXT
    awk -v text="$2" '{ t = $1; $1 = ""; sub(/^ /, ""); gsub(/"/, "");
        if ($0 == text) { print t; exit } }' "$1"
}

batch_finished() { [ -n "$(log_time_of "$1" finish)" ]; }

# Seconds from "rotate while iterating folder start" to "finish".
batch_seconds() { # LOG
    local start end
    start=$(log_time_of "$1" "rotate while iterating folder start")
    end=$(log_time_of "$1" finish)
    if [ -z "$start" ] || [ -z "$end" ]; then
        echo "n/a"
        return
    fi
    elapsed "$start" "$end"
}

# ---- peers ----
# The tools the engine (engine/photorotation.cpp) runs per photo, from a shell loop: jpegtran
# turning the photo from its standard input to its standard output into a new temporary file
# beside the photo, exiv2 reading that file's orientation tags, then the temporary file renamed
# over the photo. With "fsync" the temporary file is also written to the disk before the rename,
# as the engine does; without it this is the plain tool sequence. (The engine also sets the
# orientation values to 1 in place and gives the new file the photo's permissions, in-process;
# here the umask already gives the same permissions, and the tag is left as jpegtran copied it.)
# The mv and sync processes make this floor a little higher than the tools alone: about 1 ms
# each per photo.
bare_tools() { # FOLDER fsync|nofsync
    local folder="$1" flush="$2" angle name tmp
    while read -r angle name; do
        tmp="$folder/.$name.bench.tmp"
        jpegtran -v -rotate "$angle" -copy all -trim <"$folder/$name" >"$tmp" 2>/dev/null
        exiv2 -v -Pkv -K Exif.Image.Orientation -K Exif.Thumbnail.Orientation \
            -K Xmp.tiff.Orientation pr "$tmp" >/dev/null
        [ "$flush" = fsync ] && sync "$tmp"
        mv "$tmp" "$folder/$name"
    done <"$work/rotate-manifest"
}

# timed NAME COMMAND...: wall time of COMMAND in seconds on stdout, time -v report in NAME.time.
timed() {
    local name="$1"
    shift
    local start end
    start=$(now)
    /usr/bin/time -v -o "$work/$name.time" "$@" >/dev/null 2>"$work/$name.err"
    end=$(now)
    elapsed "$start" "$end"
}

export -f bare_tools
export work

# ---- the measurements ----
check_rotated() { # FOLDER LABEL: every photo of the set now has tag 1
    local wrong
    wrong=$(exiftool -q -n -p '$Orientation' "$1" | grep -cv '^1$' || true)
    [ "$wrong" = 0 ] || log "WARNING: $2 left $wrong photos with a tag other than 1"
}

# FOLDER LABEL: every photo of the set is there and not empty (the bare tools leave the tag as it
# was, so check_rotated would not hold for them).
check_turned() {
    local files
    files=$(find "$1" -name '*.jpg' -size +0 | wc -l)
    [ "$files" = "$rotate_count" ] || log "WARNING: $2 left $files photos instead of $rotate_count"
}

# rotate_with_pivotta NAME [SETTING...] [-- ARGUMENT...]: one timed batch on a fresh copy.
rotate_with_pivotta() {
    local name="$1"
    shift
    local folder="$work/rotate-pivotta"
    fresh_rotate_copy "$folder"
    sync
    run_pivotta "$folder" "$name" "$@"
    check_rotated "$folder" "$name"
    batch_seconds "$work/$name.log"
}

measure_rotation() {
    local run folder t
    rotate_pivotta=() rotate_pivotta_one=() rotate_headless=() rotate_bare=() rotate_bare_fsync=()
    rotate_exiftran=()
    for ((run = 1; run <= repeats; run++)); do
        log "rotating $rotate_count large photos, run $run of $repeats"
        # The window with its default of one photo per core, with one photo at a time, and
        # without a window.
        rotate_pivotta+=("$(rotate_with_pivotta "rotate-pivotta-$run")")
        rotate_pivotta_one+=("$(rotate_with_pivotta "rotate-pivotta-one-$run" parallelRotations=1)")
        rotate_headless+=("$(rotate_with_pivotta "rotate-headless-$run" -- --headless)")

        folder="$work/rotate-bare"
        fresh_rotate_copy "$folder"
        sync
        rotate_bare+=("$(timed "rotate-bare-$run" bash -c 'bare_tools "$0" nofsync' "$folder")")
        check_turned "$folder" "the bare tools"

        fresh_rotate_copy "$folder"
        sync
        rotate_bare_fsync+=("$(timed "rotate-bare-fsync-$run" bash -c 'bare_tools "$0" fsync' "$folder")")
        check_turned "$folder" "the bare tools with fsync"

        folder="$work/rotate-exiftran"
        fresh_rotate_copy "$folder"
        sync
        rotate_exiftran+=("$(timed "rotate-exiftran-$run" sh -c 'exiftran -ai "$0"/*.jpg' "$folder")")
        check_rotated "$folder" exiftran
    done
}

# Scans of the upright set, warm (after reading every file once) or cold (page cache dropped).
measure_scan() { # warm|cold
    local state="$1" run t
    local -n pivotta_times="scan_pivotta_$state" exiftran_times="scan_exiftran_$state" \
        reader_times="scan_reader_$state" one_times="scan_one_$state" many_times="scan_many_$state"
    pivotta_times=() exiftran_times=() reader_times=() one_times=() many_times=()
    for ((run = 1; run <= repeats; run++)); do
        log "scanning $upright_count upright photos ($state cache), run $run of $repeats"
        if [ "$state" = cold ]; then drop_page_cache; else warm_up "$work/upright"; fi
        run_pivotta "$work/upright" "scan-$state-pivotta-$run"
        pivotta_times+=("$(batch_seconds "$work/scan-$state-pivotta-$run.log")")

        if [ "$state" = cold ]; then drop_page_cache; else warm_up "$work/upright"; fi
        # One process over every photo, its natural use: "-a" turns by the tag, "-i" in place;
        # for a photo with tag 1 it reads the headers, finds nothing to do and writes nothing.
        t=$(timed "scan-$state-exiftran-$run" \
            sh -c 'find "$0" -name "*.jpg" -print0 | xargs -0 exiftran -ai' "$work/upright")
        exiftran_times+=("$t")

        # The orientation reading alone, in a program of its own over the same photos.
        if [ -x "$bench_orientation" ]; then
            if [ "$state" = cold ]; then drop_page_cache; else warm_up "$work/upright"; fi
            t=$(timed "scan-$state-reader-$run" "$bench_orientation" "$work/upright" --scan)
            reader_times+=("$t")
        fi

        # The engine's batch alone (bench_scan's own figure, without the program's start), its
        # reads one at a time and several in flight.
        if [ -x "$bench_scan" ]; then
            if [ "$state" = cold ]; then drop_page_cache; else warm_up "$work/upright"; fi
            one_times+=("$(scan_seconds "scan-$state-one-$run" --reads 1)")
            if [ "$state" = cold ]; then drop_page_cache; else warm_up "$work/upright"; fi
            many_times+=("$(scan_seconds "scan-$state-many-$run" --reads 16)")
        fi
    done
}

# The "batch:" figure of one bench_scan run over the upright set.
scan_seconds() { # NAME ARGUMENT...
    local name="$1"
    shift
    "$bench_scan" "$work/upright" "$@" >"$work/$name.out" 2>"$work/$name.err" || true
    local seconds
    seconds=$(awk -F': ' '/^batch:/ { print $2 + 0 }' "$work/$name.out")
    echo "${seconds:-n/a}"
}

# Small photos without EXIF take the image reader's route: a scan of them next to a scan of the
# same photos tagged 1, warm.
measure_small() {
    local run t
    small_plain=() small_tagged=()
    [ -x "$bench_orientation" ] || return 0
    for ((run = 1; run <= repeats; run++)); do
        log "reading $small_count small photos without EXIF and tagged 1, run $run of $repeats"
        warm_up "$work/small-no-exif"
        small_plain+=("$(timed "small-no-exif-$run" "$bench_orientation" "$work/small-no-exif" --scan)")
        warm_up "$work/small-tag1"
        small_tagged+=("$(timed "small-tag1-$run" "$bench_orientation" "$work/small-tag1" --scan)")
    done
}

# The longest wait of the window's event loop while it rotates the large set.
measure_eventloop() {
    eventloop_longest="n/a" eventloop_median="n/a"
    if [ ! -x "$bench_eventloop" ]; then
        log "no $bench_eventloop (configure with -DPIVOTTA_BUILD_BENCH=ON): event loop skipped"
        return
    fi
    log "event loop of the window during a batch of $rotate_count large photos"
    fresh_rotate_copy "$work/rotate-eventloop"
    sync
    QT_QPA_PLATFORM=offscreen "$bench_eventloop" "$work/rotate-eventloop" \
        >"$work/eventloop.out" 2>"$work/eventloop.err" || true
    eventloop_longest=$(awk -F': ' '/^longest gap:/ { print $2 + 0 }' "$work/eventloop.out")
    eventloop_median=$(awk -F': ' '/^median gap:/ { print $2 + 0 }' "$work/eventloop.out")
    [ -n "$eventloop_longest" ] || eventloop_longest="n/a"
}

measure_tiny() {
    log "peak memory: $tiny_count tiny photos"
    run_pivotta "$work/tiny" tiny-pivotta
    tiny_seconds=$(batch_seconds "$work/tiny-pivotta.log")
    tiny_rss=$(max_rss_mb "$work/tiny-pivotta.time")
}

# A large library: the headless program over the tiny set and over the library set (folders of
# 1000 tiny photos), its wall time per photo for each and its peak memory over the library.
measure_library() {
    local run
    library_tiny_times=() library_times=()
    warm_up "$work/tiny"
    warm_up "$work/library"
    for ((run = 1; run <= repeats; run++)); do
        log "large library: $library_count tiny photos, headless, run $run of $repeats"
        library_tiny_times+=("$(headless_seconds "library-tiny-$run" "$work/tiny")")
        library_times+=("$(headless_seconds "library-$run" "$work/library")")
    done
    library_tiny_seconds=$(median "${library_tiny_times[@]}")
    library_seconds=$(median "${library_times[@]}")
    library_rss=$(max_rss_mb "$work/library-1.time")
    library_seen=$(grep -o 'out of [0-9]* photo(s) total' "$work/library-1.out" | grep -o '[0-9]*')
}

# headless_seconds NAME FOLDER: wall time of `pivotta --headless FOLDER`; its report in NAME.out.
headless_seconds() {
    local start end
    start=$(now)
    QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work/$1.config" \
        /usr/bin/time -v -o "$work/$1.time" "$pivotta" --headless "$2" >"$work/$1.out" \
        2>"$work/$1.err" || true
    end=$(now)
    elapsed "$start" "$end"
}

# Start-up: from the exec of the program to its debug line "restore", which main writes right
# before it shows the window. The first run follows a dropped page cache when that is possible.
measure_startup() {
    local run pidfile log start_file start shown_line shown
    startup_times=()
    startup_cold="n/a"
    mkdir -p "$work/startup.config/Tavlund" "$work/startup.home/runtime"
    chmod 700 "$work/startup.home/runtime"
    for ((run = 0; run <= repeats; run++)); do
        if [ "$run" = 0 ]; then
            $can_drop_cache || continue
            drop_page_cache
        fi
        log="$work/startup-$run.log" pidfile="$work/startup-$run.pid"
        start_file="$work/startup-$run.start"
        QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work/startup.config" \
            HOME="$work/startup.home" XDG_RUNTIME_DIR="$work/startup.home/runtime" \
            QT_LOGGING_RULES="pivotta.debug=true" \
            QT_MESSAGE_PATTERN="%{time yyyy-MM-dd HH:mm:ss.zzz} %{message}" \
            sh -c 'echo $$ >"$0"; date "+%Y-%m-%d %H:%M:%S.%N" >"$1"; exec "$2"' \
            "$pidfile" "$start_file" "$pivotta" >"$log" 2>&1 &
        local shell_pid=$!
        running_pid=$shell_pid
        local deadline=$((SECONDS + 30))
        while ! grep -q ' restore ' "$log" && [ $SECONDS -lt $deadline ]; do sleep 0.05; done
        sleep 0.3
        kill "$shell_pid" 2>/dev/null || true # after the exec this is pivotta itself
        wait "$shell_pid" 2>/dev/null || true
        running_pid=""
        shown_line=$(grep -m1 ' restore ' "$log" || true)
        if [ -z "$shown_line" ]; then
            log "no \"restore\" line in the start-up log"
            continue
        fi
        start=$(date -d "$(cat "$start_file")" +%s.%N)
        shown=$(date -d "$(echo "$shown_line" | cut -d' ' -f1-2)" +%s.%N)
        if [ "$run" = 0 ]; then
            startup_cold=$(elapsed "$start" "$shown")
        else
            startup_times+=("$(elapsed "$start" "$shown")")
        fi
    done
}

measure_outputlog() {
    outputlog_ratio="n/a" outputlog_first="n/a" outputlog_last="n/a" outputlog_rss="n/a"
    if [ ! -x "$bench_outputlog" ]; then
        log "no $bench_outputlog (configure with -DPIVOTTA_BUILD_BENCH=ON): output pane skipped"
        return
    fi
    log "output pane: $messages appends with \"Keep all\""
    QT_QPA_PLATFORM=offscreen /usr/bin/time -v -o "$work/outputlog.time" \
        "$bench_outputlog" --messages "$messages" --window "$message_window" \
        >"$work/outputlog.out" 2>"$work/outputlog.err" || true
    outputlog_first=$(awk -F': ' '/^first window:/ { print $2 }' "$work/outputlog.out")
    outputlog_last=$(awk -F': ' '/^last window:/ { print $2 }' "$work/outputlog.out")
    outputlog_ratio=$(awk -F': ' '/^last\/first:/ { print $2 }' "$work/outputlog.out")
    outputlog_rss=$(max_rss_mb "$work/outputlog.time")
    [ -n "$outputlog_ratio" ] || outputlog_ratio="n/a"
}

measure_orientation_reading() {
    if [ ! -x "$bench_orientation" ]; then
        log "no $bench_orientation (configure with -DPIVOTTA_BUILD_BENCH=ON): reading speed skipped"
        return
    fi
    log "orientation reading speed over the upright set"
    sync
    QT_QPA_PLATFORM=offscreen "$bench_orientation" "$work/upright" --rounds "$repeats" --cold \
        >"$work/orientation.out" 2>"$work/orientation.err" || true
}

# ---- run ----
log "work folder: $work"
make_masters
make_rotate_set
# wanted SECTION: whether --only asks for it (everything without --only).
wanted() { [ -z "$only" ] || [[ ",$only," == *",$1,"* ]]; }

log "making $upright_count upright photos and $tiny_count tiny ones"
make_copies "$work/masters/tag1.jpg" "$upright_count" "IMG_%05g.jpg" "$work/upright"
make_copies "$work/masters/small-no-exif.jpg" "$small_count" "IMG_%05g.jpg" "$work/small-no-exif"
make_copies "$work/masters/small-tag1.jpg" "$small_count" "IMG_%05g.jpg" "$work/small-tag1"
for ((sub = 0; sub * 1000 < tiny_count; sub++)); do
    count=$((tiny_count - sub * 1000 < 1000 ? tiny_count - sub * 1000 : 1000))
    make_copies "$work/masters/tiny.jpg" "$count" "tiny_%05g.jpg" "$work/tiny/part$sub"
done
if wanted library; then
    log "making $library_count tiny photos for the library"
    for ((sub = 0; sub * 1000 < library_count; sub++)); do
        count=$((library_count - sub * 1000 < 1000 ? library_count - sub * 1000 : 1000))
        make_copies "$work/masters/tiny.jpg" "$count" "tiny_%05g.jpg" "$work/library/part$sub"
    done
fi
sync

wanted startup && measure_startup
wanted rotation && measure_rotation
wanted eventloop && measure_eventloop
if wanted scan; then
    measure_scan warm
    if $can_drop_cache; then measure_scan cold; fi
fi
wanted small && measure_small
wanted tiny && measure_tiny
wanted library && measure_library
wanted outputlog && measure_outputlog
wanted reading && measure_orientation_reading

# ---- report ----
photo_mb=$(awk -v b="$(stat -c %s "$work/masters/base.jpg")" 'BEGIN { printf "%.2f", b / 1e6 }')

peak() { max_rss_mb "$work/$1.time"; }

echo
echo "== Pivotta benchmark: $(date '+%Y-%m-%d %H:%M'), $(nproc) cores, median of $repeats =="
$smoke && echo "(smoke run: tiny sizes, the figures only show that every step runs)"
echo "photos: $photo_size, $photo_mb MB each; page cache can be dropped: $can_drop_cache"
figures=() # a figure that could not be taken means that a step did not run
if wanted rotation; then
    rotate_pivotta_median=$(median "${rotate_pivotta[@]}")
    rotate_bare_median=$(median "${rotate_bare[@]}")
    rotate_exiftran_median=$(median "${rotate_exiftran[@]}")
    rotate_bare_fsync_median=$(median "${rotate_bare_fsync[@]}")
    rotate_one_median=$(median "${rotate_pivotta_one[@]}")
    rotate_headless_median=$(median "${rotate_headless[@]}")
    window_ratio=$(ratio "$rotate_pivotta_median" "$rotate_exiftran_median")
    headless_ratio=$(ratio "$rotate_headless_median" "$rotate_exiftran_median")
    one_ratio=$(ratio "$rotate_one_median" "$rotate_bare_fsync_median")
    echo
    echo "Rotating $rotate_count large photos (tags 3, 6, 8):"
    echo "  pivotta, window, $(nproc) at once:  $rotate_pivotta_median s   (runs: ${rotate_pivotta[*]}; peak RSS $(peak rotate-pivotta-1) MB)"
    echo "  pivotta, headless:          $rotate_headless_median s   (runs: ${rotate_headless[*]}; peak RSS $(peak rotate-headless-1) MB)"
    echo "  pivotta, window, 1 at once: $rotate_one_median s   (runs: ${rotate_pivotta_one[*]})"
    echo "  bare tools + fsync:         $rotate_bare_fsync_median s   (runs: ${rotate_bare_fsync[*]}; the engine's sequence)"
    echo "  bare tools, no fsync:       $rotate_bare_median s   (runs: ${rotate_bare[*]})"
    echo "  exiftran -ai:               $rotate_exiftran_median s   (runs: ${rotate_exiftran[*]}; peak RSS $(peak rotate-exiftran-1) MB)"
    echo "  window / exiftran:          $window_ratio   target <= 0.6: $(verdict "$window_ratio" 0.6)"
    echo "  headless / exiftran:        $headless_ratio   target <= 0.6: $(verdict "$headless_ratio" 0.6)"
    echo "  1 at once / bare + fsync:   $one_ratio   target <= 1.05: $(verdict "$one_ratio" 1.05)"
    echo "  1 at once / exiftran:       $(ratio "$rotate_one_median" "$rotate_exiftran_median")"
    figures+=("$rotate_pivotta_median" "$rotate_one_median" "$rotate_headless_median"
        "$rotate_bare_median" "$rotate_bare_fsync_median" "$rotate_exiftran_median")
fi
if wanted eventloop; then
    echo
    echo "The window's event loop during that batch (bench_eventloop):"
    echo "  longest wait: $eventloop_longest ms (median $eventloop_median ms)   target <= 100 ms: $(verdict "$eventloop_longest" 100)"
fi
for state in warm cold; do
    wanted scan || continue
    [ "$state" = cold ] && ! $can_drop_cache && continue
    declare -n pivotta_times="scan_pivotta_$state" exiftran_times="scan_exiftran_$state" \
        reader_times="scan_reader_$state" one_times="scan_one_$state" many_times="scan_many_$state"
    p=$(median "${pivotta_times[@]}")
    e=$(median "${exiftran_times[@]}")
    r=$(median "${reader_times[@]}")
    echo
    echo "Scanning $upright_count large photos that need no turning ($state page cache):"
    echo "  pivotta batch:            $p s   (runs: ${pivotta_times[*]}; peak RSS $(peak "scan-$state-pivotta-1") MB)"
    echo "  exiftran -ai:             $e s   (runs: ${exiftran_times[*]})"
    echo "  pivotta / exiftran:       $(ratio "$p" "$e")   target <= 0.6: $(verdict "$(ratio "$p" "$e")" 0.6)"
    echo "  readOrientation scan:     $r s   (runs: ${reader_times[*]}; bench_orientation --scan, whole process)"
    echo "  readOrientation / exiftran: $(ratio "$r" "$e")   target <= 1.0: $(verdict "$(ratio "$r" "$e")" 1.0)"
    if [ ${#one_times[@]} -gt 0 ]; then
        o=$(median "${one_times[@]}")
        m=$(median "${many_times[@]}")
        echo "  engine batch, reads one at a time: $o s   (runs: ${one_times[*]}; bench_scan --reads 1)"
        echo "  engine batch, 16 reads in flight:  $m s   (runs: ${many_times[*]}; bench_scan --reads 16)"
        if [ "$state" = cold ]; then
            echo "  one at a time / in flight: $(ratio "$o" "$m")   target >= 2: $(verdict 2 "$(ratio "$o" "$m")")"
        else
            echo "  one at a time / in flight: $(ratio "$o" "$m")"
        fi
    fi
    [ "$state" = warm ] && figures+=("$p" "$e")
    unset -n pivotta_times exiftran_times reader_times one_times many_times
done
if wanted small && [ ${#small_plain[@]} -gt 0 ]; then
    sp=$(median "${small_plain[@]}")
    st=$(median "${small_tagged[@]}")
    echo
    echo "Reading $small_count small photos ($small_size), warm (bench_orientation --scan, whole process):"
    echo "  without EXIF:             $sp s   (runs: ${small_plain[*]}; the image reader's route)"
    echo "  tagged 1:                 $st s   (runs: ${small_tagged[*]})"
    echo "  without / tagged:         $(ratio "$sp" "$st")   target <= 2: $(verdict "$(ratio "$sp" "$st")" 2)"
fi
if wanted tiny; then
    echo
    echo "Batch of $tiny_count tiny photos: peak RSS $tiny_rss MB   target < 300 MB: $(verdict "$tiny_rss" 299.999); batch $tiny_seconds s"
    figures+=("$tiny_rss")
fi
if wanted library; then
    per_tiny=$(awk -v t="$library_tiny_seconds" -v n="$tiny_count" 'BEGIN { printf "%.1f", t / n * 1e6 }')
    per_library=$(awk -v t="$library_seconds" -v n="$library_count" 'BEGIN { printf "%.1f", t / n * 1e6 }')
    growth=$(ratio "$per_library" "$per_tiny")
    echo
    echo "A library of $library_count tiny photos in folders of 1000, headless (whole process):"
    echo "  $library_seconds s, ${per_library} µs per photo (runs: ${library_times[*]}), ${library_seen:-n/a} photos seen"
    echo "  $tiny_count photos: $library_tiny_seconds s, ${per_tiny} µs per photo (runs: ${library_tiny_times[*]})"
    echo "  time per photo, library / $tiny_count: $growth   target <= 1.2: $(verdict "$growth" 1.2)"
    echo "  peak RSS $library_rss MB   target < 150 MB: $(verdict "$library_rss" 149.999)"
    figures+=("$library_rss" "$library_seen")
fi
if wanted outputlog; then
    echo
    echo "Output pane, $messages appends, \"Keep all\" (windows of $message_window):"
    echo "  first window: $outputlog_first; last window: $outputlog_last; peak RSS $outputlog_rss MB"
    echo "  last / first:             $outputlog_ratio   target <= 2: $(verdict "$outputlog_ratio" 2)"
    [ -x "$bench_outputlog" ] && figures+=("$outputlog_ratio")
fi
if wanted startup; then
    startup_median=$(median "${startup_times[@]}")
    echo
    echo "Start-up to the window shown (exec to the \"restore\" line before show()):"
    echo "  warm: $startup_median s (runs: ${startup_times[*]}); after a dropped page cache: $startup_cold s"
    echo "  target <= 0.5 s: warm $(verdict "$startup_median" 0.5), cold $(verdict "$startup_cold" 0.5)"
    figures+=("$startup_median")
fi
if wanted reading && [ -s "$work/orientation.out" ]; then
    echo
    echo "Orientation reading (bench_orientation over the upright set):"
    sed 's/^/  /' "$work/orientation.out"
fi

for figure in "${figures[@]}"; do
    if [ "$figure" = "n/a" ] || [ -z "$figure" ]; then
        echo "some figures are missing: see the logs (run with --keep)" >&2
        exit 1
    fi
done
