#!/usr/bin/env bash
# Builds the qv tool on the portable backend and runs its demo.
set -euo pipefail
cd "$(dirname "$0")/.."
missing=()
for package in cmake ninja-build g++ libsqlite3-dev googletest; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq && apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build --target qv >/dev/null
exec build/tools/qv/qv demo
