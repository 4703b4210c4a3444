#!/usr/bin/env bash
# screenshots.sh: renders every page of the wizard (Start in English, French and German, Mode,
# Folder, Shortcut, installation page, End) and the About box to PNG files for a person to look
# at, in BUILD/screenshots/ (BUILD is $GRADIVO_BUILD_DIR, else build/x86_64). The pictures are
# taken under Wine on an Xvfb display of their own, at 96 DPI, in a fresh session of that build
# tree (do not run it while that tree's tests run).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/common.sh"
"$here/setup.sh"
"$here/build.sh" x86_64 --target wizard_screenshots

build=${GRADIVO_BUILD_DIR:-$GRADIVO_ROOT/build/x86_64}
out=$build/screenshots
rm -rf "$out"
mkdir -p "$out"
"$here/wine-session.sh" start "$build" >/dev/null
trap '"$here/wine-session.sh" stop "$build" >/dev/null' EXIT
status=0
# A virtual desktop of Wine's own draws the windows' captions and frames, as Windows does.
"$here/wine-exec.sh" "$build" explorer /desktop=gradivo-screenshots,1024x768 \
  "$build/tests/wizard_screenshots.exe" "Z:${out//\//\\}" || status=$?
for bitmap in "$out"/*.bmp; do
  [ -e "$bitmap" ] || continue
  convert "$bitmap" "${bitmap%.bmp}.png"
  rm -f "$bitmap"
done
echo "screenshots: $(ls "$out" | tr '\n' ' ')"
echo "screenshots: saved in $out"
exit "$status"
