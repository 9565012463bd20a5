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
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
scratch=$work
max_len=4096
seeds=()
if [[ $target == hive_fuzzer ]]; then
  # Real Windows hives as well (fuzz/seeds/README.md).
  max_len=16777216
  mkdir "$work/seeds" "$work/new"
  xz -dc fuzz/seeds/NTUSER.DAT.xz >"$work/seeds/NTUSER.DAT"
  xz -dc fuzz/seeds/SYSTEM.xz >"$work/seeds/SYSTEM"
  seeds=("$work/seeds")
  scratch=$work/new
fi
QV_REGISTRY=:memory: build-fuzz-fast/fuzz/"$target" -max_total_time="$seconds" -runs="$runs" \
  -max_len="$max_len" -print_final_stats=1 "$scratch" "fuzz/corpus/$target" ${seeds[@]+"${seeds[@]}"}
