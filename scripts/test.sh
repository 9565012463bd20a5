#!/usr/bin/env bash
# Installs what is missing, builds both backends and runs every test:
#   native  - the portable backend, built with g++, as a 64-bit and as a
#             32-bit (-m32) program
#   windows - the win32 backend, cross-built with mingw-w64 and run under
#             Wine: x86_64 under 64-bit Wine, and i686 (the product) under
#             32-bit Wine in a WoW64 prefix, as 64-bit Windows runs it
# 32-bit programs need a kernel that runs them (scripts/probe_32bit.sh);
# where it does not, the 32-bit native suite runs under qemu's user-mode
# emulation, and the suites that need the kernel say "not run" and why.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

# Each step's time, printed in the summary.
step_names=()
step_seconds=()
step_started=$SECONDS
step() {  # step TITLE: ends the step before, prints TITLE
  end_step
  step_title=$1
  step_started=$SECONDS
  echo "== $1"
}
end_step() {
  if [[ -n ${step_title:-} ]]; then
    step_names+=("$step_title")
    step_seconds+=($((SECONDS - step_started)))
  fi
  step_title=""
}

need_packages=()
have() { dpkg -s "$1" >/dev/null 2>&1; }
for package in cmake ninja-build g++ g++-multilib googletest libsqlite3-dev sqlite3 \
               libbenchmark-dev pkg-config clang libclang-rt-14-dev g++-mingw-w64-x86-64 \
               g++-mingw-w64-i686 wine wine64 hyperfine qemu-user-static strace scdoc \
               libhivex-dev libhivex-bin; do
  have "$package" || need_packages+=("$package")
done
if ((${#need_packages[@]})); then
  step "installing: ${need_packages[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${need_packages[@]}" >/dev/null
fi

# 32-bit programs: the kernel runs them, or only an emulator does.
runs_32=1
why_not_32=$(scripts/probe_32bit.sh) || runs_32=0
i386_packages=(libsqlite3-0:i386)
((runs_32)) && i386_packages+=(wine32:i386)
step "i386 packages: ${i386_packages[*]}"
scripts/install_i386.sh "${i386_packages[@]}"

jobs=$(nproc)
configure() {  # configure BUILD_DIR CMAKE_ARGS...
  local build=$1
  shift
  cmake -S . -B "$build" -G Ninja -DQV_WERROR=ON "$@" >/dev/null
}

step "native build (portable backend)"
configure build -DCMAKE_BUILD_TYPE=Debug
cmake --build build -j "$jobs"

step "native 32-bit build (portable backend, -m32)"
m32_emulator=()
((runs_32)) || m32_emulator=(-DCMAKE_CROSSCOMPILING_EMULATOR=/usr/bin/qemu-i386-static)
configure build-m32 -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/linux-i686.cmake" "${m32_emulator[@]}"
cmake --build build-m32 -j "$jobs"

step "windows build (win32 backend, x86_64, run under 64-bit Wine)"
configure build-win -DCMAKE_BUILD_TYPE=Debug -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake"
cmake --build build-win -j "$jobs"

step "windows build (win32 backend, i686, run under 32-bit Wine)"
configure build-win32 -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake"
cmake --build build-win32 -j "$jobs"

step "benchmarks (built here, run by scripts/bench.sh)"
configure build-bench -DCMAKE_BUILD_TYPE=Release -DQV_BUILD_BENCHMARKS=ON \
  -DQV_BUILD_TESTS=OFF -DQV_BUILD_TOOLS=OFF
cmake --build build-bench -j "$jobs"

step "native build under AddressSanitizer + UndefinedBehaviorSanitizer"
configure build-asan -DCMAKE_BUILD_TYPE=Debug -DQV_SANITIZE=address,undefined
cmake --build build-asan -j "$jobs"

if ((runs_32)); then
  step "native 32-bit build under AddressSanitizer + UndefinedBehaviorSanitizer"
  configure build-m32-asan -DCMAKE_BUILD_TYPE=Debug -DQV_SANITIZE=address,undefined \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/linux-i686.cmake"
  cmake --build build-m32-asan -j "$jobs"
fi

step "native build under ThreadSanitizer (concurrency tests)"
configure build-tsan -DCMAKE_BUILD_TYPE=Debug -DQV_SANITIZE=thread -DQV_BUILD_TOOLS=OFF
cmake --build build-tsan -j "$jobs" --target concurrency_tests portable_concurrency_tests

step "fuzz targets (clang, libFuzzer)"
configure build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQV_SANITIZE=address,undefined -DQV_BUILD_FUZZERS=ON -DQV_BUILD_TESTS=OFF -DQV_BUILD_TOOLS=OFF
cmake --build build-fuzz -j "$jobs"

# From here on every suite runs, and the summary says which failed.
set +e
status=0
results=()
suites_passed=0
suites_failed=0
suites_not_run=0
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
not_run() {  # not_run NAME REASON: only where the kernel cannot run 32-bit programs
  results+=("$1: not run: $2")
  suites_not_run=$((suites_not_run + 1))
}

step "native tests"
(cd build && ctest --output-on-failure -j "$jobs"); record "native tests" $?

step "native tests as a 32-bit process on 64-bit Windows (QV_PROCESS_BITS=32)"
(cd build && QV_PROCESS_BITS=32 ctest --output-on-failure -j "$jobs")
record "native tests, 32-bit process" $?

step "native 32-bit build: every test"
if ((runs_32)); then
  (cd build-m32 && ctest --output-on-failure -j "$jobs"); record "native 32-bit build" $?
else
  (cd build-m32 && ctest --output-on-failure -j "$jobs")
  record "native 32-bit build (under qemu-i386: $why_not_32)" $?
fi

step "native tests under ASan + UBSan"
(cd build-asan && UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --output-on-failure -j "$jobs"); record "ASan + UBSan tests" $?

if ((runs_32)); then
  step "native 32-bit build under ASan + UBSan"
  (cd build-m32-asan && UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    ctest --output-on-failure -j "$jobs"); record "ASan + UBSan tests, 32-bit build" $?
else
  not_run "ASan + UBSan tests, 32-bit build" "$why_not_32 (ASan's allocator fails under qemu)"
fi

step "concurrency tests under TSan"
(cd build-tsan && TSAN_OPTIONS=halt_on_error=1 \
  ctest --output-on-failure -R "concurrency"); record "TSan concurrency tests" $?

step "fuzz targets, a short fixed run each"
fuzz_status=0
for target in path_fuzzer version_fuzzer target_name_fuzzer variant_fuzzer code_page_fuzzer \
              reg_file_fuzzer qv_arguments_fuzzer registry_path_fuzzer sqlite_store_fuzzer \
              key_tree_fuzzer hive_fuzzer; do
  scratch=$(mktemp -d)
  runs=20000
  [[ $target == sqlite_store_fuzzer ]] && runs=3000  # each run writes a database file
  [[ $target == key_tree_fuzzer ]] && runs=400       # each run builds trees of hundreds of keys
  max_len=4096
  [[ $target == hive_fuzzer ]] && max_len=16384      # a hive is 8 KiB at the least
  QV_REGISTRY=:memory: build-fuzz/fuzz/$target -seed=1 -runs=$runs -max_len=$max_len "$scratch" \
    "fuzz/corpus/$target" >"$scratch.log" 2>&1 || fuzz_status=1
  echo "$target: $(grep -E "^Done|ERROR|SUMMARY" "$scratch.log")"
  rm -rf "$scratch" "$scratch.log"
done
record "fuzz runs" $fuzz_status

step "package: install and build a consumer (native, 64-bit and 32-bit)"
scripts/check_package.sh "$root/build"; record "native package" $?
if ((runs_32)); then
  scripts/check_package.sh "$root/build-m32" "$root/cmake/linux-i686.cmake"
  record "native package, 32-bit build" $?
else
  scripts/check_package.sh "$root/build-m32" "$root/cmake/linux-i686.cmake" \
    /usr/bin/qemu-i386-static
  record "native package, 32-bit build (under qemu-i386)" $?
fi

# The Windows suites of one build under one Wine: ctest (with the qv tool
# checks), reg command lines against Wine's own reg.exe and regedit, the
# file-system commands against the portable qv, registry traces against the
# portable backend (as a process of the same bitness), and the package.
windows_suites() {  # windows_suites LABEL BUILD WINE TOOLCHAIN PROCESS_BITS
  local label=$1 build=$2 wine=$3 toolchain=$4 bits=$5
  export WINEPREFIX="$root/$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  export WINE=$wine
  # One persistent wineserver spares every test process Wine's start-up; the
  # prefix is a 64-bit (WoW64) one either way.
  /usr/lib/wine/wineserver -p >/dev/null 2>&1 &
  /usr/lib/wine/wine64 cmd /c exit >/dev/null 2>&1 || true
  (cd "$build" && ctest --output-on-failure -j "$jobs"); record "windows tests ($label)" $?
  step "reg command lines through Wine's reg.exe and qv.exe ($label)"
  bash tests/qv/reg_transcript.sh "$root/$build/tools/qv/qv.exe"
  record "reg.exe transcript ($label)" $?
  step "the file-system commands through both backends ($label)"
  bash tests/qv/backends_compare.sh "$root/build/tools/qv/qv" "$root/$build/tools/qv/qv.exe"
  record "backends compared ($label)" $?
  step "registry call traces: the portable backend against Win32 under Wine ($label)"
  QV_PROCESS_BITS=$bits bash tests/trace/compare_traces.sh "$root/build/tests/registry_trace" \
    "$root/$build/tests/registry_trace.exe" "$wine"
  record "registry traces compared ($label)" $?
  step "package: install and build a consumer ($label)"
  scripts/check_package.sh "$root/$build" "$root/cmake/$toolchain" "$wine"
  record "windows package ($label)" $?
  /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  unset WINE
}

step "windows tests under 64-bit Wine (x86_64)"
windows_suites "x86_64, 64-bit Wine" build-win /usr/lib/wine/wine64 mingw-x86_64.cmake 64
if ((runs_32)); then
  step "windows tests under 32-bit Wine in a WoW64 prefix (i686, the product)"
  windows_suites "i686, 32-bit Wine" build-win32 /usr/lib/wine/wine mingw-i686.cmake 32
else
  for suite in "windows tests" "reg.exe transcript" "backends compared" \
               "registry traces compared" "windows package"; do
    not_run "$suite (i686, 32-bit Wine)" "$why_not_32"
  done
fi

end_step
echo
echo "== summary"
printf '%s\n' "${results[@]}"
echo "time of each step:"
for index in "${!step_names[@]}"; do
  printf '  %4ds  %s\n' "${step_seconds[$index]}" "${step_names[$index]}"
done
echo "whole run: $((SECONDS / 60)) min $((SECONDS % 60)) s"
echo "suites: $suites_passed passed, $suites_failed failed, $suites_not_run not run"
exit "$status"
