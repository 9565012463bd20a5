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
for package in cmake ninja-build g++ googletest libsqlite3-dev libbenchmark-dev pkg-config \
               clang libclang-rt-14-dev g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64 \
               hyperfine; do
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

echo "== benchmarks (built here, run by scripts/bench.sh)"
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQV_BUILD_BENCHMARKS=ON \
  -DQV_BUILD_TESTS=OFF -DQV_BUILD_TOOLS=OFF >/dev/null
cmake --build build-bench -j "$jobs"

echo "== native build under AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQV_SANITIZE=address,undefined >/dev/null
cmake --build build-asan -j "$jobs"

echo "== native build under ThreadSanitizer (concurrency tests)"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQV_SANITIZE=thread \
  -DQV_BUILD_TOOLS=OFF >/dev/null
cmake --build build-tsan -j "$jobs" --target concurrency_tests portable_concurrency_tests

echo "== fuzz targets (clang, libFuzzer)"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQV_SANITIZE=address,undefined -DQV_BUILD_FUZZERS=ON -DQV_BUILD_TESTS=OFF \
  -DQV_BUILD_TOOLS=OFF >/dev/null
cmake --build build-fuzz -j "$jobs"

# From here on every suite runs, and the summary says which failed.
set +e
status=0
results=()
suites_passed=0
suites_failed=0
record() {  # record NAME STATUS
  if [[ $2 -eq 0 ]]; then
    results+=("$1: passed")
    suites_passed=$((suites_passed + 1))
  else
    results+=("$1: FAILED")
    suites_failed=$((suites_failed + 1))
    status=1
  fi
}

echo "== native tests"
(cd build && ctest --output-on-failure -j "$jobs"); record "native tests" $?

echo "== native tests under ASan + UBSan"
(cd build-asan && UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --output-on-failure -j "$jobs"); record "ASan + UBSan tests" $?

echo "== concurrency tests under TSan"
(cd build-tsan && TSAN_OPTIONS=halt_on_error=1 \
  ctest --output-on-failure -R "concurrency"); record "TSan concurrency tests" $?

echo "== fuzz targets, a short fixed run each"
fuzz_status=0
for target in path_fuzzer version_fuzzer target_name_fuzzer variant_fuzzer code_page_fuzzer \
              reg_file_fuzzer qv_arguments_fuzzer registry_path_fuzzer sqlite_store_fuzzer \
              key_tree_fuzzer; do
  scratch=$(mktemp -d)
  runs=20000
  [[ $target == sqlite_store_fuzzer ]] && runs=3000  # each run writes a database file
  [[ $target == key_tree_fuzzer ]] && runs=400       # each run builds trees of hundreds of keys
  QV_REGISTRY=:memory: build-fuzz/fuzz/$target -runs=$runs -max_len=4096 "$scratch" \
    "fuzz/corpus/$target" >"$scratch.log" 2>&1 || fuzz_status=1
  echo "$target: $(grep -E "^Done|ERROR|SUMMARY" "$scratch.log")"
  rm -rf "$scratch" "$scratch.log"
done
record "fuzz runs" $fuzz_status

echo "== package: install and build a consumer (native)"
scripts/check_package.sh "$root/build"; record "native package" $?

echo "== windows tests under Wine"
export WINEPREFIX="$root/build-win/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# One persistent wineserver spares every test process Wine's start-up.
/usr/lib/wine/wineserver -p >/dev/null 2>&1 &
/usr/lib/wine/wine64 cmd /c exit >/dev/null 2>&1 || true  # creates the prefix once
(cd build-win && ctest --output-on-failure -j "$jobs"); record "windows tests under Wine" $?
echo "== reg command lines through Wine's reg.exe and qv.exe, .reg files through regedit"
bash tests/qv/reg_transcript.sh "$root/build-win/tools/qv/qv.exe"
record "reg.exe transcript" $?
echo "== the file-system commands through both backends"
bash tests/qv/backends_compare.sh "$root/build/tools/qv/qv" "$root/build-win/tools/qv/qv.exe"
record "backends compared" $?
echo "== registry call traces: the portable backend against Win32 under Wine"
bash tests/trace/compare_traces.sh "$root/build/tests/registry_trace" \
  "$root/build-win/tests/registry_trace.exe" /usr/lib/wine/wine64
record "registry traces compared" $?
echo "== package: install and build a consumer (windows, run under Wine)"
scripts/check_package.sh "$root/build-win" "$root/cmake/mingw-x86_64.cmake" /usr/lib/wine/wine64
record "windows package" $?
/usr/lib/wine/wineserver -k >/dev/null 2>&1 || true

echo
echo "== summary"
printf '%s\n' "${results[@]}"
echo "suites: $suites_passed passed, $suites_failed failed"
exit "$status"
