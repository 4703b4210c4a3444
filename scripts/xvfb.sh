# Sourced: gradivo_start_xvfb starts an Xvfb display of our own on the first free display number
# and sets GRADIVO_XVFB_PID and DISPLAY; gradivo_stop_xvfb ends it.
# Runs that start together choose their display numbers one after the other (a lock on a file
# shared by every build tree of the machine): otherwise two could take the same free number, and
# the one whose Xvfb lost would use, and lose with it, the other's display.
gradivo_start_xvfb() {
  local lock
  exec {lock}>/tmp/.gradivo-xvfb.lock
  flock "$lock"
  gradivo_choose_xvfb_display "$lock"
  local status=$?
  flock -u "$lock"
  exec {lock}>&-
  return $status
}

gradivo_choose_xvfb_display() {
  local n lock=$1
  for n in $(seq 91 190); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 {lock}>&- &
    GRADIVO_XVFB_PID=$!
    local i
    for i in $(seq 1 100); do
      if [ -e "/tmp/.X11-unix/X$n" ]; then
        DISPLAY=":$n"
        export DISPLAY GRADIVO_XVFB_PID
        return 0
      fi
      kill -0 "$GRADIVO_XVFB_PID" 2>/dev/null || break
      sleep 0.1
    done
    kill "$GRADIVO_XVFB_PID" 2>/dev/null || true
  done
  echo "xvfb: no display could be started" >&2
  return 1
}

gradivo_stop_xvfb() {
  if [ -n "${GRADIVO_XVFB_PID:-}" ]; then
    kill "$GRADIVO_XVFB_PID" 2>/dev/null || true
    wait "$GRADIVO_XVFB_PID" 2>/dev/null || true
    GRADIVO_XVFB_PID=
  fi
}
