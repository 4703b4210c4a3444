#!/usr/bin/env bash
# build.sh TARGET [cmake --build options...]: configures (once) and builds one target's tree,
# build/x86_64 (the test build) or build/i686 (the release); GRADIVO_BUILD_DIR names another folder.
# GRADIVO_WERROR=ON makes warnings errors.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/common.sh"
arch=$1
shift
target=$arch-w64-mingw32
build=${GRADIVO_BUILD_DIR:-$GRADIVO_ROOT/build/$arch}
tests=ON
payload_tool=
if [ "$arch" != x86_64 ]; then
  # This machine runs only 64-bit Windows programs: the release packs its payload with the test
  # build's payload tool.
  tests=OFF
  GRADIVO_BUILD_DIR= "$here/build.sh" x86_64 --target payload
  payload_tool=$GRADIVO_ROOT/build/x86_64/bin/payload.exe
fi
cmake -S "$GRADIVO_ROOT" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$GRADIVO_ROOT/cmake/toolchain-$target.cmake" \
  -DGRADIVO_DEPS_DIR="$(deps_dir "$target")" \
  -DGRADIVO_WERROR="${GRADIVO_WERROR:-OFF}" \
  -DGRADIVO_TESTS="$tests" -DGRADIVO_PAYLOAD_TOOL="$payload_tool" >/dev/null
cmake --build "$build" "$@"
