#!/usr/bin/env bash
# Runs one fuzz target for a while:  scripts/fuzz.sh TARGET SECONDS [RUNS]
# Built without sanitizers for speed (the test command runs every target
# briefly under ASan + UBSan). New inputs go to a scratch folder; findings
# (crash-*, timeout-*, leak-*) are left in the current folder.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?usage: scripts/fuzz.sh TARGET SECONDS [RUNS]}
seconds=${2:?usage: scripts/fuzz.sh TARGET SECONDS [RUNS]}
runs=${3:--1}
cmake -S . -B build-fuzz-fast -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Release \
  -DQV_BUILD_FUZZERS=ON -DQV_BUILD_TESTS=OFF -DQV_BUILD_TOOLS=OFF >/dev/null
cmake --build build-fuzz-fast --target "$target" >/dev/null
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
QV_REGISTRY=:memory: build-fuzz-fast/fuzz/"$target" -max_total_time="$seconds" -runs="$runs" \
  -max_len=4096 -print_final_stats=1 "$scratch" "fuzz/corpus/$target"
