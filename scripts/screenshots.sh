#!/usr/bin/env bash
# Takes the documentation screenshots of the real program on a virtual display: the main window
# during and after a folder batch (with the countdown to closing), the three Preferences pages,
# the About dialog and the preview of one photo, in the light theme, in the dark theme reached by
# a switch while the program runs, and in the dark theme of a desktop that is dark when the
# program starts. Saves them into docs/screenshots/.
#
#   scripts/screenshots.sh [--screen WxH] [--scale N] [--out DIR] [ROUND...]
#
# builds if needed (in ./build, or $PIVOTTA_BUILD) and shoots on a screen of 1920x1200 unless
# told otherwise, at the scale N (QT_SCALE_FACTOR) if given; the rounds are light, dark and
# dark-start (all three by default). Screenshots taken on another screen size or at a scale carry
# it in their names (light-about-1366x768.png, light-about-2x.png).
#
# The program is started as a file manager starts it, on copies of the test photos, with
# settings of its own in a temporary folder. The dialogs are opened through the menus with
# simulated key presses (xdotool). The dark theme is reached the way a desktop switches to it:
# the platform theme qt6ct changes the palette of the running program, which then installs its
# own dark theme; for a dark start qt6ct hands the program the dark palette from the beginning.
set -euo pipefail

# shellcheck source=scripts/setup.sh
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

SCREEN="1920x1200"
SCALE=""
OUTPUT_DIR="$PIVOTTA_ROOT/docs/screenshots"
ROUNDS=()
PHOTOS_SOURCE="$PIVOTTA_ROOT/tests/data/orientation"
# Copies of the photos whose tags ask for a turn, enough of them for the batch to last a few
# seconds so that it can be caught while it runs.
PHOTO_SETS=25

# Runs inside the virtual display: one round of screenshots in one theme.
shoot_round() {
    local theme=$1 work=$2
    local photos="$work/$theme/Pictures/Holidays" config="$work/$theme/config"
    prepare_sandbox "$photos" "$config"
    if [ "$theme" = dark-start ]; then
        qt6ct_settings /usr/share/qt6ct/colors/darker.conf >"$config/qt6ct/qt6ct.conf"
    fi

    export XDG_CONFIG_HOME="$config" HOME="$config" QT_QPA_PLATFORMTHEME=qt6ct
    unset QT_QPA_PLATFORM
    if [ -n "$SCALE" ]; then
        export QT_SCALE_FACTOR="$SCALE"
    fi
    local pid main
    if [ "$theme" != dark ]; then
        # Started on a folder, the program rotates it a second later.
        "$PIVOTTA_BUILD/pivotta" "$photos" >"$work/$theme/pivotta.log" 2>&1 &
        pid=$!
        main=$(wait_for_window '^Pivotta 3$')
    else
        # The palette change takes a few seconds to arrive, so this round opens the folder for
        # preview (in the folder tree) and starts the batch with F5 once the theme is dark.
        "$PIVOTTA_BUILD/pivotta" --preview "$photos" >"$work/$theme/pivotta.log" 2>&1 &
        pid=$!
        main=$(wait_for_window '^Pivotta 3$')
        use_qt6ct_colors "$config" /usr/share/qt6ct/colors/darker.conf
        sleep 6
        xdotool windowfocus --sync "$main"
        xdotool key F5
    fi

    # Catch the batch half-way.
    wait_for_rotated "$photos" 1
    sleep 1
    shoot_window "$main" "$theme-main-during-batch"
    wait_for_rotated "$photos" "$(find "$photos" -name '*.jpg' | wc -l)"
    sleep 1.5 # the summary, and the countdown to closing of a start from the file manager
    shoot_window "$main" "$theme-main-after-batch"
    # Keep open (Esc), so that the dialogs can be shown.
    xdotool windowfocus --sync "$main"
    xdotool key Escape
    sleep 0.5

    xdotool windowfocus --sync "$main"
    xdotool key alt+f
    sleep 0.5
    xdotool key p # &Preferences...
    local preferences
    preferences=$(wait_for_window '^Preferences$')
    xdotool windowfocus --sync "$preferences"
    sleep 0.5
    shoot_window "$preferences" "$theme-preferences-rotating"
    xdotool key ctrl+Tab
    sleep 0.5
    shoot_window "$preferences" "$theme-preferences-timestamps"
    xdotool key ctrl+Tab
    sleep 0.5
    shoot_window "$preferences" "$theme-preferences-output"
    xdotool key Escape
    sleep 0.5

    xdotool windowfocus --sync "$main"
    xdotool key alt+h
    sleep 0.5
    xdotool key a # &About...
    local about
    about=$(wait_for_window '^About$')
    sleep 0.5
    shoot_window "$about" "$theme-about"
    xdotool key Escape
    sleep 0.5

    xdotool windowfocus --sync "$main"
    xdotool key ctrl+q
    wait_for_end "$pid"

    # One photo that asks for a turn in the preview, as sharp as the screen shows it. Now and
    # then the virtual display does not show a second program's window: it is started again.
    cp "$PHOTOS_SOURCE/Portrait_6.jpg" "$work/$theme/Pictures/Portrait_6.jpg"
    local attempt
    for attempt in 1 2; do
        "$PIVOTTA_BUILD/pivotta" --preview "$work/$theme/Pictures/Portrait_6.jpg" \
            >>"$work/$theme/pivotta.log" 2>&1 &
        pid=$!
        main=$(wait_for_window '^Pivotta 3$') && break
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
        [ "$attempt" = 2 ] && return 1
    done
    sleep 2
    shoot_window "$main" "$theme-preview"
    xdotool windowfocus --sync "$main"
    xdotool key ctrl+q
    wait_for_end "$pid"
}

wait_for_end() {
    local pid=$1
    for _ in $(seq 50); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.2
    done
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

prepare_sandbox() {
    local photos=$1 config=$2
    mkdir -p "$config/Tavlund" "$config/qt6ct"
    # Close after the batch, so that the countdown shows; the round keeps the window open.
    printf '[General]\ncloseAppAfterContextMenuRotate=true\n' >"$config/Tavlund/Pivotta.ini"
    qt6ct_settings "" >"$config/qt6ct/qt6ct.conf"
    local set
    for set in $(seq -w "$PHOTO_SETS"); do
        mkdir -p "$photos/holiday $set"
        cp "$PHOTOS_SOURCE"/{Landscape,Portrait}_{3,6,8}.jpg "$photos/holiday $set/"
    done
    chmod -R u+w "$photos"
    touch -d '2000-01-01' "$photos" "$photos"/*/*.jpg
}

# The platform theme's settings: the style's own colours, or those of a colour scheme file.
# The font is the one Pivotta chooses for itself, so that the theme change leaves it alone.
qt6ct_settings() {
    local scheme=$1
    printf '[Appearance]\nstyle=Fusion\n'
    if [ -n "$scheme" ]; then
        printf 'custom_palette=true\ncolor_scheme_path=%s\n' "$scheme"
    else
        printf 'custom_palette=false\n'
    fi
    printf '[Fonts]\ngeneral="Segoe UI,10"\nfixed="Monospace,10"\n'
}

# qt6ct notices a new settings file in its folder and hands the program the new palette.
use_qt6ct_colors() {
    local config=$1 scheme=$2
    qt6ct_settings "$scheme" >"$config/qt6ct.conf.new"
    mv "$config/qt6ct.conf.new" "$config/qt6ct/qt6ct.conf"
}

wait_for_window() {
    local name=$1 id=""
    for _ in $(seq 100); do
        id=$(xdotool search --onlyvisible --name "$name" 2>/dev/null | head -1 || true)
        [ -n "$id" ] && break
        sleep 0.2
    done
    [ -n "$id" ] || { echo "No window named $name appeared" >&2; return 1; }
    echo "$id"
}

# Waits until at least `count` photos have been rewritten (their time moves from 2000 to now).
wait_for_rotated() {
    local photos=$1 count=$2
    for _ in $(seq 300); do
        [ "$(find "$photos" -name '*.jpg' -newermt '2001-01-01' | wc -l)" -ge "$count" ] && return
        sleep 0.2
    done
    echo "Timed out waiting for $count rotated photos" >&2
    return 1
}

shoot_window() {
    local window=$1 name=$2
    if [ "$SCREEN" != 1920x1200 ]; then
        name="$name-$SCREEN"
    fi
    if [ -n "$SCALE" ]; then
        name="$name-${SCALE}x"
    fi
    import -window "$window" "$OUTPUT_DIR/$name.png"
    echo "$OUTPUT_DIR/$name.png"
}

if [ "${1:-}" = --inside-display ]; then
    OUTPUT_DIR=$2 SCREEN=$3 SCALE=$4 work=$5
    shift 5
    for round in "$@"; do
        shoot_round "$round" "$work"
    done
    exit 0
fi

while [ $# -gt 0 ]; do
    case $1 in
    --screen) SCREEN=$2 && shift 2 ;;
    --scale) SCALE=$2 && shift 2 ;;
    --out) OUTPUT_DIR=$(realpath -m "$2") && shift 2 ;;
    light | dark | dark-start) ROUNDS+=("$1") && shift ;;
    *) echo "Unknown argument: $1" >&2 && exit 2 ;;
    esac
done
[ ${#ROUNDS[@]} -gt 0 ] || ROUNDS=(light dark dark-start)

install_packages "${PIVOTTA_PACKAGES[@]}" xvfb xauth imagemagick xdotool qt6ct
# Only the program is needed here, not the tests that the build folder may also hold.
cmake -S "$PIVOTTA_ROOT" -B "$PIVOTTA_BUILD" >/dev/null
cmake --build "$PIVOTTA_BUILD" -j "$(nproc)" --target pivotta
mkdir -p "$OUTPUT_DIR"
work=$(mktemp -d -t pivotta-screenshots.XXXXXX)
trap 'rm -rf "$work"' EXIT
xvfb-run -a -s "-screen 0 ${SCREEN}x24" "$0" --inside-display "$OUTPUT_DIR" "$SCREEN" "$SCALE" \
    "$work" "${ROUNDS[@]}"
