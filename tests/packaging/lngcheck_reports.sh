#!/usr/bin/env bash
# A language file with one text missing, one unknown key and a second, ignored section of the
# same name: the checker names exactly those problems and fails.
set -euo pipefail
lngcheck=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

# Every text but "Trial"/"Chm", plus "[Menus] Extra", written in UTF-8.
iconv -f UTF-16 -t UTF-8 "$(dirname "$0")/../../packaging/translations/deutsch.lng" | tr -d '\r' \
    | sed -e '/^Chm=/d' -e 's/^\[Menus\]$/[MENUS]\nExtra=x/' > "$dir/test.lng"
printf '[Trial]\nChm=only in a second section of the same name\n' >> "$dir/test.lng"

status=0
output=$("$lngcheck" "$dir/test.lng") || status=$?
echo "$output"
[ "$status" -eq 1 ]
problems=$(grep -E '^(missing|unknown): ' <<<"$output")
[ "$problems" = $'missing: [Trial] Chm\nunknown: [MENUS] Extra' ]
