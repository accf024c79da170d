#!/usr/bin/env bash
# Builds Pivotta and takes a screenshot of its main window after it rotated a folder of photos:
# the program runs on a virtual X display (xvfb-run) on copies of the test photos, with
# its own settings folder, and ImageMagick's `import` grabs the screen.
# Usage: scripts/screenshot.sh [output.png]   (default: docs/screenshots/mainwindow.png)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

OUTPUT="${1:-$PIVOTTA_ROOT/docs/screenshots/mainwindow.png}"
PHOTOS_SOURCE="${PIVOTTA_TESTDATA:-$PIVOTTA_ROOT/tests/data/orientation}"
PIVOTTA_BUILD="${PIVOTTA_SCREENSHOT_BUILD:-$PIVOTTA_ROOT/build-screenshot}"
SCREEN_SIZE="1600x1000"
BATCH_WAIT_SECONDS="${PIVOTTA_SCREENSHOT_WAIT:-8}"

install_packages "${PIVOTTA_PACKAGES[@]}" xvfb xauth imagemagick
configure_and_build

sandbox="$(mktemp -d -t pivotta-screenshot.XXXXXX)"
trap 'rm -rf "$sandbox"' EXIT
mkdir -p "$sandbox/home/config/Tavlund" "$sandbox/Holiday photos/Day 2"
cp "$PHOTOS_SOURCE"/Landscape_*.jpg "$sandbox/Holiday photos/"
cp "$PHOTOS_SOURCE"/Portrait_*.jpg "$sandbox/Holiday photos/Day 2/"
chmod u+w -R "$sandbox/Holiday photos"
# A window that fits the virtual screen with room for a window frame, so that it is not fitted.
cat >"$sandbox/home/config/Tavlund/Pivotta.ini" <<EOF
[General]
PivottaSize=@Size(1590 960)
EOF

mkdir -p "$(dirname "$OUTPUT")"
export HOME="$sandbox/home" XDG_CONFIG_HOME="$sandbox/home/config"
export PIVOTTA_BUILD OUTPUT BATCH_WAIT_SECONDS PHOTOS="$sandbox/Holiday photos"
xvfb-run -a -s "-screen 0 ${SCREEN_SIZE}x24" bash -c '
    "$PIVOTTA_BUILD/pivotta" "$PHOTOS" &
    program=$!
    sleep "$BATCH_WAIT_SECONDS"
    import -window root "$OUTPUT"
    kill "$program"
    wait "$program" || true
'
echo "Screenshot saved to $OUTPUT"
