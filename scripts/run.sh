#!/usr/bin/env bash
# Sets up, builds and starts the launcher from the demo program folder of the build tree
# (the launcher beside stand-ins for the suite's tools). Without a display it runs the
# launcher on a virtual display, saves a screenshot of its window and ends it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset dev >/dev/null
cmake --build --preset dev --target corvane demo_tools
program=build/dev/program/corvane

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec "$program"
fi

echo "No display found: starting the launcher on a virtual display (Xvfb)."
shot="$PWD/build/dev/corvane-window.png"
export XDG_CONFIG_HOME="$PWD/build/dev/demo-config"
export XDG_RUNTIME_DIR
XDG_RUNTIME_DIR=$(mktemp -d)
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
xvfb-run --auto-servernum --server-args="-screen 0 1024x768x24" bash -c '
    "$1" & pid=$!
    trap "kill $pid 2>/dev/null || true" EXIT
    window=$(timeout 20 xdotool search --sync --onlyvisible --class CorvaneProfessional | head -n 1)
    sleep 0.5
    import -window "$window" "$2"
    kill -TERM "$pid"   # the launcher closes as on any close request
    wait "$pid" || true
' run "$program" "$shot"
echo "Screenshot of the launcher window: $shot"
