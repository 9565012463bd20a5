#!/usr/bin/env bash
# Builds and runs the benchmarks and prints every figure as one report:
#   - the portable backend with Google Benchmark: the library's operations
#     against their bare platform calls (in memory and on a database), the
#     persistent calls against a raw SQLite program, the path members, and
#     enumeration as the key grows, and reads of the database against the
#     same in memory;
#   - the same operations built from an earlier commit (BEFORE, default
#     b130e0c, the state before the call path and the persistent registry
#     were made fast), for the speed-up;
#   - the win32 backend's timing loop under Wine;
#   - whole qv processes against a minimal C program, with hyperfine;
#   - .reg imports and exports of a 1,000,000-value tree (time and memory).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
before=${BEFORE:-b130e0c}
out=$root/build-bench
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQV_BUILD_BENCHMARKS=ON \
  -DQV_BUILD_TESTS=OFF -DQV_BUILD_TOOLS=ON >/dev/null
cmake --build build-bench >/dev/null

# The earlier library, with today's benchmark sources, so both measure the same.
have_before=0
if git rev-parse --verify -q "$before^{commit}" >/dev/null; then
  source_dir=$root/build-bench-before/src
  git worktree remove --force "$source_dir" >/dev/null 2>&1 || rm -rf "$source_dir"
  git worktree prune
  git worktree add -f --detach "$source_dir" "$before" >/dev/null 2>&1
  cp bench/operations.h bench/baseline_calls.h bench/paired.h bench/registry_bench.cc "$source_dir/bench/"
  if cmake -S "$source_dir" -B build-bench-before/build -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DQV_BUILD_BENCHMARKS=ON -DQV_BUILD_TESTS=OFF -DQV_BUILD_TOOLS=OFF >/dev/null &&
    cmake --build build-bench-before/build --target registry_bench >/dev/null; then
    have_before=1
  fi
  git worktree remove --force "$source_dir" >/dev/null 2>&1 || true
fi

run() {  # NAME TAG REGISTRY PROGRAM [REPETITIONS]
  QV_BENCH_TAG=$2 QV_REGISTRY=$3 "$4" --benchmark_format=json \
    --benchmark_out="$out/$1.json" --benchmark_min_time=0.2 --benchmark_repetitions="${5:-5}" \
    --benchmark_enable_random_interleaving=true >/dev/null
  results+=("$out/$1.json")
}
# The database twice: on the disk, where every commit waits for a sync, and on
# a memory file system (tmpfs), where a sync costs nothing and what is left is
# the code's own work.
memory_fs=/dev/shm
[[ -d $memory_fs && -w $memory_fs ]] || memory_fs=""
tmpfs_scratch=""
if [[ -n $memory_fs ]]; then
  tmpfs_scratch=$(mktemp -d "$memory_fs/qv-bench-XXXXXX")
  trap 'rm -rf "$scratch" "$tmpfs_scratch"' EXIT
fi
results=()
# In memory a call takes well under a microsecond, and a slow spell of a
# shared machine can last longer than one program's run: today's build and
# b130e0c's take turns for three rounds, and the best of all rounds counts.
for round in 1 2 3; do
  run "registry_memory_$round" "" ":memory:" build-bench/bench/registry_bench
  if [[ $have_before == 1 ]]; then
    run "before_memory_$round" "before." ":memory:" build-bench-before/build/bench/registry_bench
  fi
done
run registry_database "db." "$scratch/now.db" build-bench/bench/registry_bench
if [[ $have_before == 1 ]]; then
  run before_database "before.db." "$scratch/before.db" build-bench-before/build/bench/registry_bench
fi
# On tmpfs as in memory: the code's own cost, so the same three rounds.
if [[ -n $tmpfs_scratch ]]; then
  for round in 1 2 3; do
    run "registry_tmpfs_$round" "tmpfs." "$tmpfs_scratch/now.db" build-bench/bench/registry_bench
    if [[ $have_before == 1 ]]; then
      run "before_tmpfs_$round" "before.tmpfs." "$tmpfs_scratch/before.db" \
        build-bench-before/build/bench/registry_bench
    fi
  done
fi
QV_BENCH_DIR=$scratch run sqlite "db." "" build-bench/bench/sqlite_bench
[[ -n $tmpfs_scratch ]] && QV_BENCH_DIR=$tmpfs_scratch run sqlite_tmpfs "tmpfs." "" \
  build-bench/bench/sqlite_bench
QV_BENCH_DIR=$scratch run check "" ":memory:" build-bench/bench/check_bench 3
run path "" ":memory:" build-bench/bench/path_bench
run enumeration "" ":memory:" build-bench/bench/enumeration_bench 1  # minutes per repetition
# Reads of the database against memory; each repetition fills its keys anew
# (a million values once), so three.
QV_BENCH_DIR=$scratch run reads "" ":memory:" build-bench/bench/read_image_bench 3

echo "Portable backend (Google Benchmark, best of 5 interleaved repetitions; in memory and on tmpfs best of 3 rounds of them):"
echo
python3 bench/report.py --before "$before" "${results[@]}"

# SCRIPT HEADING TOOL: a whole-process benchmark of bench/, where TOOL is here.
process_bench() {
  command -v "$3" >/dev/null || return 0
  printf '\n%s\n\n' "$2"
  bash "bench/$1" "$root/build-bench/tools/qv/qv" "$scratch"
}
process_bench processes.sh \
  "Whole processes (hyperfine), against a minimal C program making the same reads:" hyperfine
process_bench reg_files.sh \
  ".reg files through whole qv processes, against the sqlite3 shell with the same rows:" sqlite3
process_bench large_registry.sh \
  "One write in a registry of 1,000 and of 1,000,000 values, whole qv processes:" hyperfine
process_bench hive_files.sh \
  "Hive files through whole qv processes, against the .reg import of the same tree:" hivexml
if [[ -x build-bench/tools/qv/qv-regedit && -x /usr/bin/chromedriver ]]; then
  printf '\n%s\n\n' "qv regedit in headless Chromium, a registry of 1,000 and of 1,000,000 values:"
  /usr/bin/python3 bench/regedit_page.py "$root/build-bench/tools/qv/qv" "$scratch"
fi
process_bench wine_prefix.sh \
  "A Wine prefix's registry of 1,000,000 values, whole processes, against Wine's own:" hyperfine

if command -v x86_64-w64-mingw32-g++-posix >/dev/null && [[ -x /usr/lib/wine/wine64 ]]; then
  cmake -S . -B build-win-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQV_BUILD_BENCHMARKS=ON \
    -DQV_BUILD_TESTS=OFF -DQV_BUILD_TOOLS=OFF \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" >/dev/null
  cmake --build build-win-bench >/dev/null
  echo
  echo "win32 backend under Wine (plain timing loop, the best of 300 alternating blocks of 16 calls):"
  echo
  export WINEPREFIX="$root/build-win-bench/wineprefix" WINEDEBUG=-all
  /usr/lib/wine/wine64 cmd /c exit >/dev/null 2>&1 || true  # makes the prefix once
  /usr/lib/wine/wine64 build-win-bench/bench/win32/win32_timing.exe | tr -d '\r'
fi
