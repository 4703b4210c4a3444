#!/usr/bin/env bash
# The test build's emulator: wine-exec.sh BUILD PROGRAM [ARGS...] runs a Windows program of the
# build tree under Wine's 64-bit loader, in the tree's private prefix, and returns its exit code.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$1
shift
. "$here/wine-env.sh" "$build"
exec "$GRADIVO_WINE" "$@"
