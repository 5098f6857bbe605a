#!/usr/bin/env bash
# Installs the build into a scratch prefix (with a space in its path) and checks the tree:
# exactly the launcher, its link, the help file when it was built, the desktop entry, the
# AppStream data and the icons, each where the desktop looks for it.
# Arguments: <build folder> <1 when corvane.chm was built, else 0>
set -euo pipefail
build=$1
help_built=$2
source "$(dirname "$0")/common.sh"
require cmake identify

prefix="$scratch/install root"
cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" \
    || { cat "$scratch/install.log" >&2; fail "cmake --install failed"; }

actual=$(cd "$prefix" && find . \( -type f -o -type l \) -printf '%P\n' | LC_ALL=C sort)
expected=$(expected_install_files "$help_built")
[ "$actual" = "$expected" ] \
    || fail "installed files differ from the expected set:
$(diff <(echo "$expected") <(echo "$actual") || true)"

# The link is relative, so the tree may move (DESTDIR, packages), and it reaches the
# executable in the program folder.
[ -L "$prefix/bin/corvane" ] || fail "bin/corvane is not a symbolic link"
[ "$(readlink "$prefix/bin/corvane")" = ../lib/corvane/corvane ] \
    || fail "bin/corvane points to $(readlink "$prefix/bin/corvane")"
[ "$(realpath "$prefix/bin/corvane")" = "$(realpath "$prefix/lib/corvane/corvane")" ] \
    || fail "bin/corvane does not resolve to lib/corvane/corvane"
[ -x "$prefix/lib/corvane/corvane" ] || fail "lib/corvane/corvane is not executable"

# Each theme folder holds a picture of its own size.
for size in 16 22 24 32 48 64 128 256; do
    icon="$prefix/share/icons/hicolor/${size}x${size}/apps/example.corvane.Professional.png"
    geometry=$(identify -format '%m %wx%h' "$icon")
    [ "$geometry" = "PNG ${size}x${size}" ] || fail "$icon is $geometry, not PNG ${size}x${size}"
done
grep -q '<svg' "$prefix/share/icons/hicolor/scalable/apps/example.corvane.Professional.svg" \
    || fail "the scalable icon is no SVG"

# The installed metainfo carries the configured home page, not a placeholder.
! grep -Eq '@[A-Z_]+@' "$prefix/share/metainfo/example.corvane.Professional.metainfo.xml" \
    || fail "the metainfo still holds an unreplaced @VARIABLE@"

if [ "$help_built" = 1 ]; then
    chm="$prefix/lib/corvane/corvane.chm"
    [ "$(head -c 4 "$chm")" = ITSF ] || fail "corvane.chm is no compiled help file"
    if command -v chmls >/dev/null; then
        pages=$(chmls -n list "$chm")
        for page in index.html menu.html settings.html updates.html languages.html style.css \
                    contents.hhc; do
            grep -qx "/$page" <<<"$pages" || fail "corvane.chm lacks $page"
        done
    fi
fi
echo "PASS: installation tree in $prefix"
