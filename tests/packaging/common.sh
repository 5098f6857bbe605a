# Shared by the packaging tests (sourced, not run): a scratch folder removed on exit, a private
# Xvfb server, and the list of files an installation consists of.

scratch=$(mktemp -d "${TMPDIR:-/tmp}/corvane-packaging.XXXXXX")
cleanup_pids=()

cleanup() {
    local pid
    for pid in "${cleanup_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${cleanup_pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

require() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null || fail "$tool is not installed"
    done
}

# Starts Xvfb on a display it picks itself (no race with parallel tests) and exports DISPLAY.
# Arguments: screen geometry, e.g. 1024x768x24.
start_xvfb() {
    require Xvfb
    local numberFile="$scratch/display-number"
    Xvfb -noreset -displayfd 3 -screen 0 "$1" -dpi 96 -nolisten tcp 3>"$numberFile" \
        2>"$scratch/xvfb.log" &
    cleanup_pids+=($!)
    local xvfbPid=$!
    for _ in $(seq 100); do
        [ -s "$numberFile" ] && break
        kill -0 "$xvfbPid" 2>/dev/null \
            || { cat "$scratch/xvfb.log" >&2; fail "Xvfb did not start"; }
        sleep 0.1
    done
    [ -s "$numberFile" ] || fail "Xvfb named no display"
    export DISPLAY=":$(head -n 1 "$numberFile")"
    unset WAYLAND_DISPLAY
}

# A session environment for the launcher: its own runtime and configuration folders (so no
# other copy is found and nothing of the user's is touched) and no update check.
prepare_launcher_environment() {
    export XDG_RUNTIME_DIR="$scratch/runtime"
    export XDG_CONFIG_HOME="$scratch/config"
    mkdir -m 700 -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME"
    printf '[Corvane]\nAutoUpdate=0\n' >"$XDG_CONFIG_HOME/corvane.ini"
    export QT_QPA_PLATFORM=xcb
    unset QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_FONT_DPI QT_ENABLE_HIGHDPI_SCALING
}

# Waits for the launcher's visible window and prints its id.
wait_for_window() {
    local windows
    windows=$(timeout 30 xdotool search --sync --onlyvisible --class CorvaneProfessional) \
        || fail "no visible window of class CorvaneProfessional appeared"
    [ -n "$windows" ] || fail "no visible window of class CorvaneProfessional appeared"
    echo "${windows%%$'\n'*}"
}

# Ends the launcher the way the session does (SIGTERM: it closes its window and saves its
# settings) and checks that it exits with code 0. Arguments: <pid> <its output file>
end_launcher() {
    local pid=$1 log=$2 status=0
    kill -TERM "$pid"
    timeout 20 tail --pid="$pid" -f /dev/null || fail "the launcher did not end after SIGTERM"
    wait "$pid" || status=$?
    [ "$status" -eq 0 ] || { cat "$log" >&2; fail "the launcher exited with code $status"; }
}

# Every file of an installation, relative to the prefix, sorted. Argument: 1 when the help
# file was built.
expected_install_files() {
    local size
    {
        echo bin/corvane
        echo lib/corvane/corvane
        [ "$1" = 1 ] && echo lib/corvane/corvane.chm
        for page in index.html menu.html settings.html updates.html languages.html style.css; do
            echo "lib/corvane/help/$page"
        done
        echo lib/corvane/libcorvane_http.so
        echo share/applications/example.corvane.Professional.desktop
        echo share/doc/corvane/changelog.gz
        echo share/doc/corvane/copyright
        echo share/man/man1/corvane.1.gz
        echo share/metainfo/example.corvane.Professional.metainfo.xml
        for size in 16 22 24 32 48 64 128 256; do
            echo "share/icons/hicolor/${size}x${size}/apps/example.corvane.Professional.png"
        done
        echo share/icons/hicolor/scalable/apps/example.corvane.Professional.svg
    } | LC_ALL=C sort
}
