#!/usr/bin/env bash
# run.sh: builds the installer (the x86_64 test build) and runs it under Wine, in a prefix of its
# own (build/x86_64/wine/demo).
#
# With a display, it opens the wizard for a person; the prefix is kept between runs, so that a
# second run meets the first one's installation.
#
# Without a display, it makes the demo prefix afresh, starts an Xvfb display of its own and drives
# the wizard through a quick installation in the user's language (the wizard's own choice), saving
# a picture of each page in build/x86_64/run/ and printing where they are, the installation log and
# the record file that the installation wrote. The prefix stays for inspection.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/common.sh"
"$here/setup.sh"

build=$GRADIVO_ROOT/build/x86_64
installer=$build/bin/InstallGradivo7.17a.exe
user_display=${DISPLAY:-}
if [ -n "$user_display" ]; then
  "$here/build.sh" x86_64 --target installer
else
  "$here/build.sh" x86_64 --target installer --target installer_demo --target ulog
fi
. "$here/wine-env.sh" "$build"
. "$here/xvfb.sh"
demo=$GRADIVO_WINE_ROOT/demo

if [ -n "$user_display" ]; then
  if [ ! -d "$demo" ]; then
    gradivo_wine_template
    cp -a "$GRADIVO_WINE_ROOT/template" "$demo"
  fi
  export WINEPREFIX=$demo DISPLAY=$user_display
  echo "run: starting $installer on $DISPLAY"
  "$GRADIVO_WINE" "$installer"
  exit 0
fi

# A fresh machine for the demonstration.
if [ -d "$demo" ]; then WINEPREFIX=$demo "$GRADIVO_WINESERVER" -k 2>/dev/null || true; fi
rm -rf "$demo"
gradivo_wine_template
cp -a "$GRADIVO_WINE_ROOT/template" "$demo"
export WINEPREFIX=$demo
pictures=$build/run
rm -rf "$pictures"
mkdir -p "$pictures"

gradivo_start_xvfb
trap '"$GRADIVO_WINESERVER" -k 2>/dev/null || true; gradivo_stop_xvfb' EXIT
"$GRADIVO_WINESERVER" -p </dev/null >/dev/null 2>&1
"$GRADIVO_WINE" wineboot </dev/null >/dev/null 2>&1 || true
"$GRADIVO_WINE" explorer /desktop </dev/null >/dev/null 2>&1 &
echo "run: installing with $installer on an Xvfb display of its own ($DISPLAY), prefix $demo"
status=0
# A virtual desktop of Wine's own draws the windows' captions and frames, as Windows does; the
# installer that the demonstration starts opens on the same desktop.
"$GRADIVO_WINE" explorer /desktop=gradivo-run,1024x768 "$build/tests/installer_demo.exe" "Z:${pictures//\//\\}" |
  tr -d '\r' || status=$?
for bitmap in "$pictures"/*.bmp; do
  [ -e "$bitmap" ] || continue
  convert "$bitmap" "${bitmap%.bmp}.png"
  rm -f "$bitmap"
done
echo "run: pictures of the pages in $pictures: $(cd "$pictures" && ls | tr '\n' ' ')"

# A quick installation puts the record beside the uninstaller in the default folder.
record="$demo/drive_c/Program Files (x86)/Veltram & Ruziruzu/Gradivo 7/Uninstall.ulog"
if [ -f "$record" ]; then
  echo "run: the record file $record:"
  "$GRADIVO_WINE" "$build/bin/ulog.exe" dump "Z:${record//\//\\}" | tr -d '\r'
else
  echo "run: no record file was written"
fi
echo "run: the Wine prefix stays for inspection: $demo"
exit "$status"
