#!/usr/bin/env bash
# Installs what is missing, builds both backends and runs every test:
#   native  - the portable backend, built with g++
#   windows - the win32 backend, cross-built with mingw-w64 and run under Wine
# The 32-bit (i686) build of the win32 backend is compiled and linked as well.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

need_packages=()
have() { dpkg -s "$1" >/dev/null 2>&1; }
for package in cmake ninja-build g++ googletest libsqlite3-dev libbenchmark-dev \
               g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64; do
  have "$package" || need_packages+=("$package")
done
if ((${#need_packages[@]})); then
  echo "== installing: ${need_packages[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${need_packages[@]}" >/dev/null
fi

jobs=$(nproc)

echo "== native build (portable backend)"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build -j "$jobs"

echo "== windows build (win32 backend, x86_64, run under Wine)"
cmake -S . -B build-win -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" >/dev/null
cmake --build build-win -j "$jobs"

echo "== windows build (win32 backend, i686: compiled and linked)"
cmake -S . -B build-win32 -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
cmake --build build-win32 -j "$jobs"

status=0
echo "== native tests"
(cd build && ctest --output-on-failure -j "$jobs") || status=1

echo "== windows tests under Wine"
export WINEPREFIX="$root/build-win/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# One persistent wineserver spares every test process Wine's start-up.
/usr/lib/wine/wineserver -p >/dev/null 2>&1 &
/usr/lib/wine/wine64 cmd /c exit >/dev/null 2>&1 || true  # creates the prefix once
(cd build-win && ctest --output-on-failure -j "$jobs") || status=1
/usr/lib/wine/wineserver -k >/dev/null 2>&1 || true

exit "$status"
