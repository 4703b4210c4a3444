#!/usr/bin/env bash
# Prepares this machine for building and testing the installer: installs the Debian packages that
# are missing, then cross-builds libbz2, Boost Iostreams' bzip2 filter and GoogleTest once per
# target into the dependency cache. A second run finds everything in place and returns at once.
#
# Environment: GRADIVO_DEPS_CACHE overrides the cache folder (default ~/.cache/gradivo-deps).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/common.sh
. "$here/common.sh"

packages=(
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  wine wine64 xvfb xauth imagemagick x11-utils
  cmake ninja-build dpkg-dev xz-utils python3
  libboost-dev googletest
)

as_root() {
  if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi
}

missing_packages() {
  local p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || echo "$p"
  done
}

install_packages() {
  local missing
  missing=$(missing_packages)
  [ -z "$missing" ] && return 0
  echo "setup: installing Debian packages: $(echo $missing)"
  as_root apt-get update -q
  # shellcheck disable=SC2086
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
}

# Source packages need deb-src entries. They are derived from the machine's own apt sources: the
# same entries, with the type deb-src, in one file of ours.
enable_source_packages() {
  local out=/etc/apt/sources.list.d/gradivo-deb-src.sources legacy=/etc/apt/sources.list.d/gradivo-deb-src.list
  if grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list; then
    return 0
  fi
  local tmp
  tmp=$(mktemp)
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -e "$f" ] || continue
    grep -qE '^Types:[[:space:]]*deb[[:space:]]*$' "$f" || continue
    sed 's/^Types:[[:space:]]*deb[[:space:]]*$/Types: deb-src/' "$f" >>"$tmp"
    echo >>"$tmp"
  done
  if [ -s "$tmp" ]; then as_root install -m 0644 "$tmp" "$out"; fi
  : >"$tmp"
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -e "$f" ] || continue
    sed -n 's/^deb \(.*\)$/deb-src \1/p' "$f" >>"$tmp"
  done
  if [ -s "$tmp" ]; then as_root install -m 0644 "$tmp" "$legacy"; fi
  rm -f "$tmp"
  as_root apt-get update -q
}

fetch_sources() {
  local dir=$1
  mkdir -p "$dir"
  if ! ls "$dir"/bzip2_*.dsc >/dev/null 2>&1 || ! ls "$dir"/boost1.74_*.orig.tar.* >/dev/null 2>&1; then
    enable_source_packages
    (cd "$dir" && apt-get source --download-only -q bzip2 boost1.74)
  fi
}

build_bzip2() {
  local target=$1 srcdir=$2 out=$3
  local work
  work=$(mktemp -d)
  (cd "$work" && dpkg-source --no-check -x "$srcdir"/bzip2_*.dsc bzip2 >/dev/null)
  mkdir -p "$out/include" "$out/lib"
  local objs=() f
  for f in blocksort huffman crctable randtable compress decompress bzlib; do
    "$target-gcc-posix" -O2 -D_FILE_OFFSET_BITS=64 -c "$work/bzip2/$f.c" -o "$work/$f.o"
    objs+=("$work/$f.o")
  done
  rm -f "$out/lib/libbz2.a"
  "$target-ar" rcs "$out/lib/libbz2.a" "${objs[@]}"
  cp "$work/bzip2/bzlib.h" "$out/include/"
  rm -rf "$work"
}

build_boost_bzip2() {
  local target=$1 srcdir=$2 out=$3
  local work
  work=$(mktemp -d)
  tar -xf "$(ls "$srcdir"/boost1.74_*.orig.tar.* | head -n 1)" -C "$work" --wildcards '*/libs/iostreams/src/bzip2.cpp'
  local cpp
  cpp=$(find "$work" -name bzip2.cpp | head -n 1)
  "$target-g++-posix" -std=c++20 -O2 -DBOOST_ALL_NO_LIB -DBOOST_IOSTREAMS_USE_DEPRECATED \
    -isystem "$GRADIVO_BOOST_INCLUDE" -I "$out/include" -c "$cpp" -o "$work/bzip2.o"
  rm -f "$out/lib/libboost_iostreams_bzip2.a"
  "$target-ar" rcs "$out/lib/libboost_iostreams_bzip2.a" "$work/bzip2.o"
  rm -rf "$work"
}

build_googletest() {
  local target=$1 out=$2
  local work
  work=$(mktemp -d)
  cmake -S /usr/src/googletest -B "$work" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$GRADIVO_ROOT/cmake/toolchain-$target.cmake" \
    -DCMAKE_INSTALL_PREFIX="$out" -Dgtest_disable_pthreads=ON -DBUILD_GMOCK=ON >/dev/null
  cmake --build "$work" >/dev/null
  cmake --install "$work" >/dev/null
  rm -rf "$work"
}

# The Boost headers reach the cross compiler through a folder that holds only boost/, so that the
# host's other headers never shadow those of mingw-w64.
prepare_boost_include() {
  mkdir -p "$GRADIVO_BOOST_INCLUDE"
  ln -sfn /usr/include/boost "$GRADIVO_BOOST_INCLUDE/boost"
}

build_target_deps() {
  local target=$1
  local key out
  key=$(deps_key "$target")
  out="$GRADIVO_DEPS_CACHE/$target/$key"
  [ -f "$out/.complete" ] && return 0
  echo "setup: cross-building dependencies for $target into $out"
  rm -rf "$out"
  mkdir -p "$out"
  fetch_sources "$GRADIVO_DEPS_CACHE/sources"
  build_bzip2 "$target" "$GRADIVO_DEPS_CACHE/sources" "$out"
  build_boost_bzip2 "$target" "$GRADIVO_DEPS_CACHE/sources" "$out"
  build_googletest "$target" "$out"
  touch "$out/.complete"
}

install_packages
prepare_boost_include
for t in "${GRADIVO_TARGETS[@]}"; do build_target_deps "$t"; done
