#!/usr/bin/env bash
# run.sh: builds the installer (the x86_64 test build) and runs it under Wine, in a prefix of its
# own (build/x86_64/wine/demo, kept between runs so that a second run meets the first one's
# installation). With no display, it runs on an Xvfb display of its own, saves a screenshot of what
# the installer shows, prints where, and ends the installer.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/common.sh"
"$here/setup.sh"
"$here/build.sh" x86_64 --target installer

build=$GRADIVO_ROOT/build/x86_64
installer=$build/bin/InstallGradivo7.17a.exe
user_display=${DISPLAY:-}
. "$here/wine-env.sh" "$build"
. "$here/xvfb.sh"
demo=$GRADIVO_WINE_ROOT/demo
if [ ! -d "$demo" ]; then
  gradivo_wine_template
  cp -a "$GRADIVO_WINE_ROOT/template" "$demo"
fi
export WINEPREFIX=$demo

if [ -n "$user_display" ]; then
  export DISPLAY=$user_display
  echo "run: starting $installer on $DISPLAY"
  "$GRADIVO_WINE" "$installer"
  exit 0
fi

gradivo_start_xvfb
trap 'WINEPREFIX=$demo "$GRADIVO_WINESERVER" -k 2>/dev/null || true; gradivo_stop_xvfb' EXIT
echo "run: starting $installer on an Xvfb display of its own ($DISPLAY)"
"$GRADIVO_WINE" "$installer" &
# Wait until the installer shows a window with its title, at most a minute.
for _ in $(seq 1 120); do
  if xwininfo -root -tree 2>/dev/null | grep -q 'Gradivo'; then break; fi
  sleep 0.5
done
sleep 1
screenshot=$build/screenshot.png
import -window root "$screenshot"
echo "run: the installer's window: $(xwininfo -root -tree | grep -o '"[^"]*Gradivo[^"]*"' | head -n 1)"
echo "run: screenshot saved to $screenshot"
