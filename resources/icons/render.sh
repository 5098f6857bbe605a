#!/usr/bin/env bash
# Regenerates every PNG in this directory from its SVG source.
# Needs rsvg-convert (librsvg); the build itself only uses the PNGs.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")"

command -v rsvg-convert >/dev/null 2>&1 || {
    echo "render.sh: rsvg-convert not found (install librsvg2-bin)" >&2
    exit 1
}

render() { # render <name> <size>...
    local name=$1
    shift
    local size
    for size in "$@"; do
        rsvg-convert -f png -w "$size" -h "$size" "$name.svg" -o "${name}_${size}.png"
    done
}

tools=(
    data_disc bluray_disc boot_disc custom_disc
    audio_cd mp3_disc dvd_video burn_image
    copy_image make_iso make_boot_iso erase_disc
    disc_info copy_disc recovery multiburn
)

for t in "${tools[@]}"; do
    render "$t" 36 72
done

render about 128 256
render globe 48 96
render app 16 22 24 32 48 64 128 256
