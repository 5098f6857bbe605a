#!/usr/bin/env bash
# Validates the desktop entry with desktop-file-validate, which must report nothing at all
# (no error, warning or hint), and checks the keys the desktop relies on.
# Argument: <desktop file>
set -euo pipefail
desktop=$1
source "$(dirname "$0")/common.sh"
require desktop-file-validate

for line in Type=Application 'Name=Corvane Professional' Exec=corvane \
            Icon=example.corvane.Professional Terminal=false \
            StartupWMClass=CorvaneProfessional SingleMainWindow=true; do
    grep -qxF "$line" "$desktop" || fail "the desktop entry lacks $line"
done
grep -Eq '^Categories=(.*;)?DiscBurning;' "$desktop" \
    || fail "the desktop entry is not in DiscBurning"
grep -q '^GenericName=.' "$desktop" || fail "the desktop entry has no GenericName"
grep -q '^Comment=.' "$desktop" || fail "the desktop entry has no Comment"

# SingleMainWindow came with version 1.5 of the desktop entry format; desktop-file-utils
# before 0.27 (Debian 12 ships 0.26) rejects both. With such a validator the rest of the
# entry is checked as a version 1.4 entry.
checked=$desktop
probe="$scratch/probe.desktop"
printf '%s\n' '[Desktop Entry]' Type=Application Version=1.5 Name=Probe Exec=true \
    SingleMainWindow=true >"$probe"
if [ -n "$(desktop-file-validate "$probe" 2>&1)" ]; then
    echo "note: this desktop-file-validate predates version 1.5; SingleMainWindow left out"
    checked="$scratch/$(basename "$desktop")"
    sed -e 's/^Version=1\.5$/Version=1.4/' -e '/^SingleMainWindow=/d' "$desktop" >"$checked"
fi
report=$(desktop-file-validate "$checked" 2>&1) || true
[ -z "$report" ] || fail "desktop-file-validate: $report"
echo "PASS: $desktop"
