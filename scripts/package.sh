#!/usr/bin/env bash
# Builds the Debian package of the suite (the three programs, regtool, their
# menu entries and icons) with CPack. Prints the path of the .deb it made.
#   scripts/package.sh            -> build-package/zurt-register_VERSION_ARCH.deb
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

scripts/install-deps.sh
# dpkg-shlibdeps works out the package's dependencies on the Qt libraries.
if ! command -v dpkg-shlibdeps >/dev/null; then
    sudo=()
    [[ $(id -u) -ne 0 ]] && sudo=(sudo)
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends dpkg-dev >&2
fi

build=build-package
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DREGISTER_TESTS=OFF \
    -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >&2
cmake --build "$build" -j "$(nproc)" --target Zelmar Ostrin Tavrel regtool >&2
rm -f "$build"/*.deb
# Only what the package holds is built (installing does not build everything).
(cd "$build" && cpack -G DEB >&2)
ls "$build"/*.deb
