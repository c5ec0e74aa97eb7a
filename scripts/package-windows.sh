#!/usr/bin/env bash
# Builds regtool for Windows with MinGW-w64 (cmake/mingw-w64.cmake) and packs
# it into a zip: regtool.exe (one file, its C++ runtime linked in), a README
# in Russian, this suite's licence and those of the runtime linked into it.
#   scripts/package-windows.sh    -> build-win-package/regtool-VERSION-windows-x64.zip
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

scripts/install-deps.sh g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev zip >&2

build=build-win-package
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DREGISTER_TESTS=OFF >&2
cmake --build "$build" -j "$(nproc)" --target regtool >&2
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")

name="regtool-$version-windows-x64"
stage="$build/$name"
rm -rf "$stage" "$build/$name.zip"
mkdir -p "$stage/licences"
cp "$build/bin/regtool.exe" "$stage/"
x86_64-w64-mingw32-strip "$stage/regtool.exe"
# Windows' Notepad reads UTF-8 and wants its lines ended by CR LF.
sed 's/$/\r/' packaging/windows/README.txt >"$stage/ПРОЧТИТЕ.txt"
cp LICENSE "$stage/licences/LICENSE.txt"
cp NOTICE "$stage/licences/NOTICE.txt"
# The runtime linked into regtool.exe: GCC's libstdc++ and libgcc (GPL 3 with
# the GCC Runtime Library Exception), MinGW-w64's C runtime and winpthreads.
cp /usr/share/doc/gcc-mingw-w64-base/copyright "$stage/licences/gcc-runtime.txt"
cp /usr/share/doc/mingw-w64-x86-64-dev/copyright "$stage/licences/mingw-w64-runtime.txt"
(cd "$build" && zip -qr "$name.zip" "$name")
echo "$root/$build/$name.zip"
