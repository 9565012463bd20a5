#!/usr/bin/env bash
# A short fixed run of every fuzz target of a build, over its seed corpus,
# two at a time: each run is one process on one core.
#   fuzz_runs.sh BUILD_DIR
set -uo pipefail
cd "$(dirname "$0")/.."
build=$1
export QV_REGISTRY=:memory:
run_one() {  # run_one TARGET: prints one line, exits 1 on a finding
  local target=$1 runs=20000 max_len=4096 scratch
  [[ $target == sqlite_store_fuzzer ]] && runs=3000  # each run writes a database file
  [[ $target == key_tree_fuzzer ]] && runs=400       # each run builds trees of hundreds of keys
  scratch=$(mktemp -d)
  local seeds=()
  if [[ $target == hive_fuzzer ]]; then
    # From a real user's hive (fuzz/seeds) as well as the small ones qv
    # writes; each run reads a hive of up to 768 KiB whole.
    runs=1000 max_len=1048576
    mkdir "$scratch.seeds"
    xz -dc fuzz/seeds/NTUSER.DAT.xz >"$scratch.seeds/NTUSER.DAT"
    seeds=("$scratch.seeds")
  fi
  "$build/fuzz/$target" -seed=1 -runs=$runs -max_len=$max_len "$scratch" "fuzz/corpus/$target" \
    ${seeds[@]+"${seeds[@]}"} >"$scratch.log" 2>&1
  local status=$?
  echo "$target: $(grep -E "^Done|ERROR|SUMMARY" "$scratch.log")," \
    "$(grep -oE 'DONE +cov: [0-9]+' "$scratch.log" | sed 's/DONE *cov: /coverage /')"
  rm -rf "$scratch" "$scratch.log" "$scratch.seeds"
  return $status
}
export -f run_one
export build
targets=(path_fuzzer version_fuzzer target_name_fuzzer variant_fuzzer code_page_fuzzer
         reg_file_fuzzer qv_arguments_fuzzer registry_path_fuzzer sqlite_store_fuzzer
         key_tree_fuzzer hive_fuzzer wine_file_fuzzer)
printf '%s\n' "${targets[@]}" | xargs -P 2 -I{} bash -c 'run_one {}'
