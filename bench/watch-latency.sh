#!/usr/bin/env bash
# Watching a large library: the time from a photo's arrival to its being turned, and the
# program's CPU time per arrival, with `pivotta --headless --watch` over libraries of upright
# photos of several sizes. Tagged photos are moved in one at a time, each into another folder of
# the library, a few seconds apart.
#
#   bench/watch-latency.sh [--build DIR] [--sizes "200 20000 100000"] [--arrivals 5] [--copy]
#                          [--keep]
#
# With --copy the photos are copied into the library (cp: written there, then closed) instead of
# moved in whole.
#
# Prints, per library: the median arrival-to-turned time, each arrival's time, and the CPU
# time (user + system) the program spent from the first arrival until it was quiet again after
# the last, divided by the arrivals; the start (watching every folder and looking at it once) is
# reported apart. Needs jpegtran and exiv2 (the program's tools) and python3.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$here")
build="$source_dir/build"
sizes="200 20000 100000"
arrivals=5
per_folder=100
keep=false
arrive=move

while [ $# -gt 0 ]; do
    case "$1" in
    --build) build="$2"; shift ;;
    --sizes) sizes="$2"; shift ;;
    --arrivals) arrivals="$2"; shift ;;
    --keep) keep=true ;;
    --copy) arrive=copy ;;
    -h | --help) sed -n '2,16p' "$0"; exit 0 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
    esac
    shift
done

program="$build/pivotta"
[ -x "$program" ] || { echo "no program at $program: build first" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/pivotta-watch-bench.XXXXXX")
pid=""
cleanup() {
    [ -n "$pid" ] && kill -TERM "$pid" 2>/dev/null || true
    $keep || rm -rf "$work"
}
trap cleanup EXIT

log() { echo "[$(date +%T)] $*" >&2; }
now() { date +%s.%N; }
# The program's own CPU time so far, in seconds (user + system, from /proc).
cpu_seconds() {
    awk -v hz="$(getconf CLK_TCK)" '{ printf "%.3f", ($14 + $15) / hz }' "/proc/$1/stat"
}
# The same with the tools it ran and has reaped (jpegtran, exiv2).
cpu_with_tools() {
    awk -v hz="$(getconf CLK_TCK)" '{ printf "%.3f", ($14 + $15 + $16 + $17) / hz }' "/proc/$1/stat"
}
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# The library: an 8x8 piece of a test photo (tagged 1, so nothing needs turning), copied
# COUNT times in folders of $per_folder.
make_library() { # FOLDER COUNT
    jpegtran -crop 8x8+0+0 -copy all "$source_dir/tests/data/orientation/Landscape_1.jpg" \
        >"$work/tiny.jpg"
    python3 - "$work/tiny.jpg" "$1" "$2" "$per_folder" <<'EOF'
import os, shutil, sys
master, folder, count, per_folder = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
for number in range(count):
    sub = os.path.join(folder, "part%04d" % (number // per_folder))
    if number % per_folder == 0:
        os.makedirs(sub, exist_ok=True)
    shutil.copyfile(master, os.path.join(sub, "photo%06d.jpg" % number))
EOF
}

# Waits until the output OUT has a line with TEXT; prints the time it was seen.
wait_for_line() { # OUT TEXT TIMEOUT_SECONDS
    local deadline
    deadline=$(awk -v t="$(now)" -v d="$3" 'BEGIN { printf "%.3f", t + d }')
    while ! grep -qF -- "$2" "$1"; do
        if awk -v t="$(now)" -v d="$deadline" 'BEGIN { exit !(t > d) }'; then
            echo "timed out waiting for: $2" >&2
            return 1
        fi
        sleep 0.02
    done
    now
}

# Waits until the program has used no CPU for a second.
wait_until_quiet() { # PID
    local before after
    after=$(cpu_seconds "$1")
    while :; do
        before=$after
        sleep 1
        after=$(cpu_seconds "$1")
        [ "$before" = "$after" ] && return
    done
}

results=()
for size in $sizes; do
    library="$work/library-$size"
    log "library of $size photos in folders of $per_folder"
    make_library "$library" "$size"
    mkdir -p "$work/camera"
    sync

    out="$work/watch-$size.out"
    config="$work/config-$size"
    mkdir -p "$config"
    started=$(now)
    XDG_CONFIG_HOME="$config" "$program" --headless --watch "$library" >"$out" 2>"$out.err" &
    pid=$!
    ready=$(wait_for_line "$out" "Watching for changes in" 600)
    wait_until_quiet "$pid"
    start_cpu=$(cpu_seconds "$pid")
    start_cpu_tools=$(cpu_with_tools "$pid")
    start_seconds=$(awk -v a="$started" -v b="$ready" 'BEGIN { printf "%.2f", b - a }')

    folders=$(((size + per_folder - 1) / per_folder))
    latencies=()
    for ((n = 1; n <= arrivals; n++)); do
        name="arrival$n.jpg"
        target="$library/part$(printf %04d $(((n * 7919) % folders)))"
        if [ "$arrive" = copy ]; then
            moved=$(now)
            cp "$source_dir/tests/data/orientation/Landscape_6.jpg" "$target/$name"
        else
            cp "$source_dir/tests/data/orientation/Landscape_6.jpg" "$work/camera/$name"
            sync "$work/camera/$name"
            moved=$(now)
            mv "$work/camera/$name" "$target/$name"
        fi
        turned=$(wait_for_line "$out" "rotated: $target/$name" 120)
        latencies+=("$(awk -v a="$moved" -v b="$turned" 'BEGIN { printf "%.3f", b - a }')")
        sleep 3
    done
    wait_until_quiet "$pid"
    cpu_per_arrival=$(awk -v a="$start_cpu" -v b="$(cpu_seconds "$pid")" -v n="$arrivals" \
        'BEGIN { printf "%.3f", (b - a) / n }')
    tools_per_arrival=$(awk -v a="$start_cpu_tools" -v b="$(cpu_with_tools "$pid")" \
        -v n="$arrivals" 'BEGIN { printf "%.3f", (b - a) / n }')

    kill -TERM "$pid"
    status=0
    wait "$pid" || status=$?
    pid=""
    rotated=$(grep -c '^rotated: ' "$out" || true)
    results+=("$size photos ($folders folders), $([ "$arrive" = copy ] && echo copied || echo moved) in: median $(median "${latencies[@]}") s from arrival to turned (${latencies[*]}); program CPU $cpu_per_arrival s per arrival ($tools_per_arrival s with its tools); start ${start_seconds} s, ${start_cpu} s CPU; $rotated turned; exit status $status")
    rm -rf "$library"
done

echo "Machine: $(nproc) cores, $(awk '/MemTotal/ { printf "%.1f GB", $2 / 1048576 }' /proc/meminfo), load: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%s\n' "${results[@]}"
