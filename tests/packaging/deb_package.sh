#!/usr/bin/env bash
# Builds the Debian package with cpack, checks its control data and contents and has lintian
# find no error or warning in it, unpacks it into a scratch root and starts the unpacked
# launcher through its bin/ link on a private Xvfb: its window must appear, Compilation >
# Data > Data Disc must start that tool from the unpacked program folder, which proves the
# folder is found through the link, and F1 must hand the help to a stand-in xdg-open: the
# HTML pages while the desktop has no CHM viewer, the CHM file once it has one.
# Arguments: <build folder> <1 when corvane.chm was built, else 0> <metainfo file>
set -euo pipefail
build=$1
help_built=$2
metainfo=$3
source "$(dirname "$0")/common.sh"
require cpack dpkg-deb dpkg-shlibdeps xdotool lintian

cpack --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 \
    || { cat "$scratch/cpack.log" >&2; fail "cpack failed"; }
arch=$(dpkg --print-architecture)
deb="$scratch/out/corvane_5.1_${arch}.deb"
[ -f "$deb" ] || fail "cpack made no $(basename "$deb"): $(ls "$scratch/out")"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = corvane ] || fail "package name is $(field Package)"
[ "$(field Architecture)" = "$arch" ] || fail "architecture is $(field Architecture)"
# The package, the About window and the AppStream release name the same version.
release=$(grep -o '<release version="[^"]*"' "$metainfo" | head -n 1 | cut -d'"' -f2)
[ "$(field Version)" = "$release" ] \
    || fail "package version $(field Version) differs from the metainfo release $release"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ -n "$(field Description)" ] || fail "no Description"

# The libraries come from dpkg-shlibdeps, with versions; the platform plugins are named.
depends=$(field Depends)
for library in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6; do
    grep -Eq "(^|, )${library//+/\\+} \(>= [^)]+\)" <<<"$depends" \
        || fail "Depends lacks a versioned $library: $depends"
done
grep -Eq '(^|, )qt6-qpa-plugins($|,| )' <<<"$depends" || fail "Depends lacks qt6-qpa-plugins"
[ "$(field Recommends)" = "xdg-utils, xchm | kchmviewer, qt6-wayland" ] \
    || fail "Recommends is $(field Recommends)"
[ -z "$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -E 'post|pre')" ] \
    || fail "the package has maintainer scripts"

# Infos may stay (the README says why for each); errors and warnings may not.
lintian --fail-on error,warning --info "$deb" >"$scratch/lintian.log" 2>&1 \
    || { cat "$scratch/lintian.log" >&2; fail "lintian reports errors or warnings"; }

# Only the installation goes in: no stand-in tools, no test programs.
listing=$(dpkg-deb -c "$deb")
contents=$(awk '$1 !~ /^d/ {print $6}' <<<"$listing" | sed 's#^\./usr/##' | LC_ALL=C sort)
expected=$(expected_install_files "$help_built")
[ "$contents" = "$expected" ] \
    || fail "package contents differ from the installation:
$(diff <(echo "$expected") <(echo "$contents") || true)"
grep -q '^-rwxr-xr-x root/root .* \./usr/lib/corvane/corvane$' <<<"$listing" \
    || fail "usr/lib/corvane/corvane is not an executable owned by root"

root="$scratch/root"
dpkg-deb -x "$deb" "$root"

# A tool of our own in the unpacked program folder records how it was started.
record="$scratch/started-tool"
cat >"$root/usr/lib/corvane/files_writer.exe" <<TOOL
#!/bin/sh
printf '%s\n' "\$0" "\$@" >"$record"
TOOL
chmod +x "$root/usr/lib/corvane/files_writer.exe"

# Stand-ins for the desktop's opener, which records what it is handed, and for its lookup,
# which names a CHM viewer once the file "viewer" says one is installed.
mkdir -p "$scratch/bin"
opened="$scratch/opened"
printf '#!/bin/sh\nprintf "%%s\\n" "$1" >>"%s"\n' "$opened" >"$scratch/bin/xdg-open"
printf '#!/bin/sh\ncat "%s" 2>/dev/null\n' "$scratch/viewer" >"$scratch/bin/xdg-mime"
chmod +x "$scratch/bin/xdg-open" "$scratch/bin/xdg-mime"
export PATH="$scratch/bin:$PATH"

start_xvfb 1024x768x24
prepare_launcher_environment
"$root/usr/bin/corvane" >"$scratch/launcher.log" 2>&1 &
launcher=$!
cleanup_pids+=("$launcher")
window=$(wait_for_window)

# Compilation > Data > Data Disc: a click opens the first menu of the bar, the keys walk to the
# first entry of its first submenu.
xdotool mousemove --window "$window" 20 8 click 1
sleep 0.5
xdotool key Down Right
sleep 0.3
xdotool key Return
for _ in $(seq 100); do
    [ -s "$record" ] && break
    sleep 0.1
done
[ -s "$record" ] || {
    cat "$scratch/launcher.log" >&2
    fail "Compilation > Data > Data Disc started no tool"
}
printf -v want '%s\n%s' "$root/usr/lib/corvane/files_writer.exe" UDF2
[ "$(cat "$record")" = "$want" ] || fail "the tool was started as: $(cat "$record")"

# F1 while no application takes CHM files, then once one does.
press_f1() {
    local count=$(($(cat "$opened" 2>/dev/null | wc -l) + 1))
    xdotool key F1
    for _ in $(seq 100); do
        [ "$(cat "$opened" 2>/dev/null | wc -l)" -ge "$count" ] && break
        sleep 0.1
    done
    tail -n 1 "$opened" 2>/dev/null
}
[ "$(press_f1)" = "$root/usr/lib/corvane/help/index.html" ] \
    || fail "without a CHM viewer F1 opened: $(cat "$opened" 2>/dev/null)"
if [ "$help_built" = 1 ]; then
    echo viewer.desktop >"$scratch/viewer"
    [ "$(press_f1)" = "$root/usr/lib/corvane/corvane.chm" ] \
        || fail "with a CHM viewer F1 opened: $(cat "$opened")"
fi

end_launcher "$launcher" "$scratch/launcher.log"
grep -q '^AutoUpdate=0' "$XDG_CONFIG_HOME/corvane.ini" || fail "corvane.ini was not kept"
echo "PASS: $(basename "$deb") — Depends: $depends"
