#!/usr/bin/env bash
# wine-scenario.sh BUILD PROGRAM [ARGS...]: runs one Windows program of the build tree in a machine
# of its own: a fresh Wine prefix copied from the build tree's template, its own wineserver and its
# own Xvfb display. Test programs whose tests each need a machine that nothing else has touched
# (the installation lifecycle, the disk-full run) use it as their emulator, so that every test
# starts on a clean machine and such tests may run beside each other.
#
# With GRADIVO_SCENARIO_TINY_DRIVE=SIZE (for example 2m), the program also gets a drive T: on a
# tmpfs of that size, mounted in a mount namespace of its own that ends with the run; the program
# finds the drive's letter in GRADIVO_TINY_DRIVE, which stays unset when the machine cannot mount it.
#
# The prefix is removed afterwards unless the program failed or GRADIVO_KEEP_SCENARIO is set; the
# exit code is the program's. Listing a test program's tests (--gtest_list_tests) needs no machine
# and runs in the build tree's usual prefix.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
shift

for arg in "$@"; do
  if [ "$arg" = --gtest_list_tests ]; then exec "$here/wine-exec.sh" "$build" "$@"; fi
done

# The tiny drive needs a private mount namespace: the script starts again inside one.
if [ -n "${GRADIVO_SCENARIO_TINY_DRIVE:-}" ] && [ -z "${GRADIVO_SCENARIO_NAMESPACE:-}" ]; then
  if unshare --mount --propagation private true 2>/dev/null; then
    exec env GRADIVO_SCENARIO_NAMESPACE=1 unshare --mount --propagation private "$0" "$build" "$@"
  elif unshare --user --map-root-user --mount --propagation private true 2>/dev/null; then
    exec env GRADIVO_SCENARIO_NAMESPACE=1 unshare --user --map-root-user --mount --propagation private "$0" "$build" "$@"
  fi
  echo "wine-scenario: no mount namespace on this machine; running without the tiny drive" >&2
fi

. "$here/wine-env.sh" "$build"
. "$here/xvfb.sh"
gradivo_wine_template
mkdir -p "$GRADIVO_WINE_ROOT/scenarios"
prefix=$(mktemp -d "$GRADIVO_WINE_ROOT/scenarios/prefix.XXXXXX")
cp -a "$GRADIVO_WINE_ROOT/template/." "$prefix/"
export WINEPREFIX=$prefix

unset GRADIVO_TINY_DRIVE
if [ -n "${GRADIVO_SCENARIO_NAMESPACE:-}" ]; then
  mkdir -p "$prefix/tiny"
  if mount -t tmpfs -o "size=$GRADIVO_SCENARIO_TINY_DRIVE" gradivo-tiny "$prefix/tiny" 2>/dev/null; then
    ln -sfn "$prefix/tiny" "$prefix/dosdevices/t:"
    export GRADIVO_TINY_DRIVE=T:
  else
    echo "wine-scenario: the tiny drive could not be mounted; running without it" >&2
  fi
fi

gradivo_start_xvfb
finish() {
  "$GRADIVO_WINESERVER" -k 2>/dev/null || true
  "$GRADIVO_WINESERVER" -w 2>/dev/null || true
  gradivo_stop_xvfb
  if [ -n "${GRADIVO_TINY_DRIVE:-}" ]; then umount "$prefix/tiny" 2>/dev/null || true; fi
}
trap finish EXIT
"$GRADIVO_WINESERVER" -p </dev/null >/dev/null 2>&1
# Wine's background processes start with the machine, not with the program, so that they never
# hold the program's output open.
"$GRADIVO_WINE" wineboot </dev/null >/dev/null 2>&1 || true
"$GRADIVO_WINE" explorer /desktop </dev/null >/dev/null 2>&1 &

status=0
"$GRADIVO_WINE" "$@" || status=$?
finish
trap - EXIT
if [ "$status" -eq 0 ] && [ -z "${GRADIVO_KEEP_SCENARIO:-}" ]; then
  rm -rf "$prefix"
else
  echo "wine-scenario: the machine of this run is kept in $prefix" >&2
fi
exit "$status"
