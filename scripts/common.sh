# Shared settings of the project's scripts: where the source tree, the build trees and the
# dependency cache are, and how a cache entry is keyed.
GRADIVO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
GRADIVO_DEPS_CACHE=${GRADIVO_DEPS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/gradivo-deps}
GRADIVO_BOOST_INCLUDE=$GRADIVO_DEPS_CACHE/boost-include
GRADIVO_TARGETS=(x86_64-w64-mingw32 i686-w64-mingw32)
export GRADIVO_ROOT GRADIVO_DEPS_CACHE GRADIVO_BOOST_INCLUDE

# deps_key TARGET: names the cache entry after the compiler and the library versions that go into it.
deps_key() {
  local cc boost gtest
  cc=$("$1-g++-posix" -dumpversion 2>/dev/null || echo none)
  boost=$(dpkg-query -W -f='${Version}' libboost-dev 2>/dev/null || echo none)
  gtest=$(dpkg-query -W -f='${Version}' googletest 2>/dev/null || echo none)
  echo "gcc-$cc-boost-$boost-gtest-$gtest-v1" | tr -c 'A-Za-z0-9.+\n-' '_'
}

# deps_dir TARGET: the cache entry of that target.
deps_dir() {
  echo "$GRADIVO_DEPS_CACHE/$1/$(deps_key "$1")"
}
