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

# The changelog's newest entry is the version being packed, or the package
# would describe another one.
version=$(sed -n 's/^project(kt6100 VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
if ! head -n 1 packaging/changelog | grep -q "^kt6100 ($version) "; then
  echo "packaging/changelog: its first entry is not version $version" >&2
  exit 1
fi

source scripts/ensure-packages.sh
# Packaging needs dpkg-shlibdeps (dpkg-dev) and file on top of the build's
# own packages.
KT_PACKAGES+=(dpkg-dev file)
kt_ensure_packages

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKT_BUILD_TESTS=OFF >&2
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" >&2
rm -f "$build"/kt6100_*.deb
(cd "$build" && cpack -G DEB >&2)
deb=$(ls "$build"/kt6100_*.deb)
# Debian's own check, where it is installed (it is not needed to build): an
# error fails the build, warnings are shown.
if command -v lintian >/dev/null 2>&1; then
  lintian --fail-on error "$deb" >&2
else
  echo "lintian is not installed: the package was not checked" >&2
fi
echo "$deb"
