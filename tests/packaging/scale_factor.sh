#!/usr/bin/env bash
# At QT_SCALE_FACTOR=2 the window keeps its layout: exactly twice as wide (2 × 547) and twice
# as high as at scale 1. Saves both windows as pictures for a look at the icons' sharpness.
# Arguments: <launcher> <folder for the screenshots>
set -euo pipefail
launcher=$1
artifacts=$2
source "$(dirname "$0")/common.sh"
require xdotool import
mkdir -p "$artifacts"

start_xvfb 1600x1200x24
prepare_launcher_environment

# Measures the window at the given scale into WIDTH and HEIGHT and saves its picture.
measure() {
    local scale=$1 pid window
    QT_SCALE_FACTOR=$scale "$launcher" >"$scratch/launcher-$scale.log" 2>&1 &
    pid=$!
    cleanup_pids+=("$pid")
    window=$(wait_for_window)
    sleep 0.5 # let the first paint finish before the picture is taken
    eval "$(xdotool getwindowgeometry --shell "$window")"
    import -window "$window" "$artifacts/main-window-scale$scale.png"
    end_launcher "$pid" "$scratch/launcher-$scale.log"
}

measure 1
width1=$WIDTH height1=$HEIGHT
measure 2
width2=$WIDTH height2=$HEIGHT
echo "scale 1: ${width1}x${height1}, scale 2: ${width2}x${height2}"
[ "$width1" -eq 547 ] || fail "the window is $width1 px wide at scale 1, not 547"
[ "$width2" -eq 1094 ] || fail "the window is $width2 px wide at scale 2, not 1094"
[ "$height2" -eq $((2 * height1)) ] \
    || fail "the window is $height2 px high at scale 2, not twice $height1"
echo "PASS: screenshots in $artifacts"
