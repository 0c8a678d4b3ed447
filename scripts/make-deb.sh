#!/usr/bin/env bash
# Builds the Debian package of the program (Release) and prints its path.
#
#   scripts/make-deb.sh [BUILD_DIR]     default: build-deb/ in the source tree
#
# Then: apt-get install ./build-deb/kt6100_<version>_amd64.deb
set -euo pipefail
build=${1:-}
if [ -n "$build" ]; then
  mkdir -p "$build"
  build=$(cd "$build" && pwd)
fi
cd "$(dirname "$0")/.."
build=${build:-$(pwd)/build-deb}

source scripts/ensure-packages.sh
# Packaging needs dpkg-shlibdeps (dpkg-dev) and file on top of the build's
# own packages.
KT_PACKAGES+=(dpkg-dev file)
kt_ensure_packages

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKT_BUILD_TESTS=OFF >&2
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" >&2
rm -f "$build"/kt6100_*.deb
(cd "$build" && cpack -G DEB >&2)
ls "$build"/kt6100_*.deb
