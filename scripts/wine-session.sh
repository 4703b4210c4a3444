#!/usr/bin/env bash
# wine-session.sh start|stop BUILD: opens and closes the test run's Wine session. Start gives the
# run a fresh prefix (a copy of the build tree's template), an Xvfb display of its own and one
# persistent wineserver; stop ends that wineserver and that display, and nothing else.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
action=$1
build=$(cd "$2" && pwd)
. "$here/xvfb.sh"

case "$action" in
start)
  # A session left behind by an interrupted run is closed first.
  if [ -f "$build/wine/session.env" ]; then "$0" stop "$build"; fi
  . "$here/wine-env.sh" "$build"
  WINEPREFIX=$GRADIVO_WINE_ROOT/template "$GRADIVO_WINESERVER" -w || true
  run=$GRADIVO_WINE_ROOT/run
  rm -rf "$run"
  cp -a "$GRADIVO_WINE_ROOT/template" "$run"
  gradivo_start_xvfb
  WINEPREFIX=$run "$GRADIVO_WINESERVER" -p </dev/null >/dev/null 2>&1
  # Wine's own background processes (services, the desktop) start with the session, not with the
  # first test: they live as long as the wineserver and must not hold a test's output open.
  WINEPREFIX=$run DISPLAY=$DISPLAY "$GRADIVO_WINE" wineboot </dev/null >/dev/null 2>&1 || true
  WINEPREFIX=$run DISPLAY=$DISPLAY "$GRADIVO_WINE" explorer /desktop </dev/null >/dev/null 2>&1 &
  cat >"$GRADIVO_WINE_ROOT/session.env" <<ENV
WINEPREFIX='$run'
DISPLAY='$DISPLAY'
GRADIVO_XVFB_PID=$GRADIVO_XVFB_PID
ENV
  echo "wine session: prefix $run, display $DISPLAY"
  ;;
stop)
  env_file=$build/wine/session.env
  [ -f "$env_file" ] || exit 0
  . "$env_file"
  rm -f "$env_file"
  . "$here/wine-env.sh" "$build"
  WINEPREFIX=$build/wine/run "$GRADIVO_WINESERVER" -k 2>/dev/null || true
  WINEPREFIX=$build/wine/run "$GRADIVO_WINESERVER" -w 2>/dev/null || true
  gradivo_stop_xvfb
  echo "wine session closed"
  ;;
*)
  echo "usage: wine-session.sh start|stop BUILD" >&2
  exit 2
  ;;
esac
