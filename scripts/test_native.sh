#!/usr/bin/env bash
# The everyday check after a change: builds build/ (the portable backend,
# the tree scripts/test.sh also uses) and runs its native suite. It installs
# nothing; scripts/test.sh does that once.
#   test_native.sh [CTEST_ARGS...]      e.g. -R registry
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DQV_WERROR=ON \
  -DQV_BUILD_TESTS=ON -DQV_UNITY_BUILD=OFF >/dev/null
cmake --build build -j "$(nproc)"
cd build && exec ctest --output-on-failure -j "$(nproc)" "$@"
