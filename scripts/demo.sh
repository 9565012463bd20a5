#!/usr/bin/env bash
# Builds the qv tool on the portable backend and runs its demo. It needs a
# compiler, CMake, Ninja and SQLite's headers, and installs those with
# apt-get (as root) where they are missing; no test framework.
set -euo pipefail
cd "$(dirname "$0")/.."
missing=()
for package in cmake ninja-build g++ libsqlite3-dev; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if ((${#missing[@]})); then
  echo "== installing with apt-get (needs root): ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq && apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
# The tree scripts/test.sh builds too; a first configure here leaves the
# tests out, so that nothing but the tool is needed.
[[ -f build/build.ninja ]] ||
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 \
    -DQV_BUILD_TESTS=OFF >/dev/null
cmake --build build --target qv >/dev/null
exec build/tools/qv/qv demo
