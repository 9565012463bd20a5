#!/usr/bin/env bash
# Installs what is missing, builds both backends and runs every test:
#   native  - the portable backend, built with g++, as a 64-bit and as a
#             32-bit (-m32) program, also under ASan + UBSan and TSan, and
#             the fuzz targets with clang
#   windows - the win32 backend, cross-built with mingw-w64 and run under
#             Wine: x86_64 under 64-bit Wine, and i686 (the product) under
#             32-bit Wine in a WoW64 prefix, as 64-bit Windows runs it
# 32-bit programs need a kernel that runs them (scripts/probe_32bit.sh);
# where it does not, the 32-bit native suite runs under qemu's user-mode
# emulation, and the suites that need the kernel say "not run" and why.
#
# The trees are built one after another, each with every core; the suites of
# a tree run in one queue beside the next tree's build, so a suite that waits
# (for Wine, a child process, the disk) costs the run no time. Each suite's
# output is printed once it has ended (whole where it failed); the summary
# gives every suite's result and every step's time.
#
# Packages come from apt-get, which needs root. An installed package is never
# downgraded, unless QV_ALLOW_DOWNGRADES=1 allows what a mirror with a broken
# i386 security index needs (scripts/install_i386.sh says when).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

# Each step's time, printed in the summary.
step_names=()
step_seconds=()
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

packages=(cmake ninja-build g++ g++-multilib googletest libgtest-dev libsqlite3-dev sqlite3
          libbenchmark-dev pkg-config clang libclang-rt-14-dev g++-mingw-w64-x86-64
          g++-mingw-w64-i686 wine wine64 hyperfine qemu-user-static strace scdoc libhivex-dev
          libhivex-bin xz-utils libcpp-httplib-dev nlohmann-json3-dev chromium chromium-driver
          python3-selenium)
need_packages=()
have() { dpkg -s "$1" >/dev/null 2>&1; }
for package in "${packages[@]}"; do
  have "$package" || need_packages+=("$package")
done
if ((${#need_packages[@]})); then
  step "installing with apt-get (needs root): ${need_packages[*]}"
  if ((EUID != 0)); then
    echo "scripts/test.sh: these Debian packages are missing and installing them needs root:" >&2
    echo "  ${need_packages[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${need_packages[@]}" >/dev/null
fi

# 32-bit programs: the kernel runs them, or only an emulator does.
runs_32=1
why_not_32=$(scripts/probe_32bit.sh) || runs_32=0
i386_packages=(libsqlite3-0:i386)
((runs_32)) && i386_packages+=(wine32:i386)
step "i386 packages (the i386 architecture added where missing): ${i386_packages[*]}"
scripts/install_i386.sh "${i386_packages[@]}"

# Results, one file a suite in the order they were queued: "STATUS SECONDS NAME".
suite_number=0
record() {  # record NAME STATUS SECONDS
  local outcome=passed
  [[ $2 -eq 0 ]] || outcome=FAILED
  echo "$outcome $3 $1" >"$logs/result.$(printf '%03d' "$suite_number")"
  suite_number=$((suite_number + 1))
}
not_run() {  # not_run NAME REASON: only where the kernel cannot run 32-bit programs
  echo "not-run 0 $1: not run: $2" >"$logs/result.$(printf '%03d' "$suite_number")"
  suite_number=$((suite_number + 1))
}

# The queue of suites: one runs at a time, in the order queued, each after
# the tree it needs is built.
queue_tail=""
queue() {  # queue NAME TREE COMMAND...
  local name=$1 tree=$2 number=$suite_number previous=$queue_tail
  shift 2
  suite_number=$((suite_number + 1))
  (
    set +e
    while [[ -n $previous ]] && kill -0 "$previous" 2>/dev/null; do sleep 0.2; done
    local started=$SECONDS status
    if [[ -f $logs/built.$tree ]]; then
      "$@" >"$logs/suite.$number" 2>&1
      status=$?
    else
      echo "$tree was not built" >"$logs/suite.$number"
      status=1
    fi
    local outcome=passed
    [[ $status -eq 0 ]] || outcome=FAILED
    echo "$outcome $((SECONDS - started)) $name" >"$logs/result.$(printf '%03d' "$number")"
    # A suite that passed shows its last lines, one that failed everything.
    if [[ $status -eq 0 ]]; then
      { echo "== $name: passed ($((SECONDS - started)) s)"; tail -n 3 "$logs/suite.$number"; } >&2
    else
      { echo "== $name: FAILED ($((SECONDS - started)) s)"; cat "$logs/suite.$number"; } >&2
    fi
  ) &
  queue_tail=$!
}

# configure_and_build TREE CMAKE_ARGS... [-- TARGETS...]: a tree with warnings
# as errors, line tables for debug information (enough for every sanitizer's
# and debugger's backtrace, at a fraction of full -g's cost), and each
# target's files compiled as a few units (the native tree, which a developer
# rebuilds after each change, compiles them one by one, and so also holds
# every file to including what it uses).
configure_and_build() {
  local tree=$1 arguments=() targets=()
  shift
  while (($#)) && [[ $1 != -- ]]; do arguments+=("$1"); shift; done
  (($#)) && shift && targets=("$@")
  step "build $tree"
  if cmake -S . -B "$tree" -G Ninja -DQV_WERROR=ON -DQV_UNITY_BUILD=ON -DCMAKE_CXX_FLAGS_DEBUG=-g1 \
       -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" "${arguments[@]}" >"$logs/configure" &&
     cmake --build "$tree" -j "$jobs" ${targets[@]+--target "${targets[@]}"} >"$logs/build" 2>&1; then
    touch "$logs/built.$tree"
    record "build $tree" 0 $((SECONDS - step_started))
  else
    cat "$logs/configure" "$logs/build"
    record "build $tree" 1 $((SECONDS - step_started))
  fi
}

m32_toolchain=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/linux-i686.cmake")
m32_emulator=()
((runs_32)) || m32_emulator=(-DCMAKE_CROSSCOMPILING_EMULATOR=/usr/bin/qemu-i386-static)
ubsan=UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

# The Wine prefix is made (Wine's own set-up, the first time) beside the
# first build.
wine_prefix=$root/build-wine
wine_environment=(env WINEPREFIX="$wine_prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=")
touch "$logs/built.wine"
queue "Wine prefix and wineserver" wine "${wine_environment[@]}" bash -c \
  '/usr/lib/wine/wineserver -p >/dev/null 2>&1 & /usr/lib/wine/wine64 cmd /c exit >/dev/null 2>&1; true'

# The native tree also builds the benchmarks, so that they keep compiling;
# scripts/bench.sh builds and runs them in Release.
configure_and_build build -DCMAKE_BUILD_TYPE=Debug -DQV_BUILD_TESTS=ON -DQV_BUILD_BENCHMARKS=ON \
  -DQV_UNITY_BUILD=OFF
queue "native tests" build ctest --test-dir build --output-on-failure -j "$jobs"
queue "native tests, 32-bit process (QV_PROCESS_BITS=32)" build \
  env QV_PROCESS_BITS=32 ctest --test-dir build --output-on-failure -j "$jobs"
queue "native package" build scripts/check_package.sh "$root/build"
queue "Wine prefix as the registry (portable qv beside 64-bit Wine)" build \
  bash tests/wine/wine_prefix_test.sh "$root/build/tools/qv/qv"

# The Windows suites of one build under one Wine: ctest (with the qv tool
# checks), reg command lines against Wine's own reg.exe and regedit, the
# file-system commands against the portable qv, registry traces against the
# portable backend (as a process of the same bitness), and the package. Both
# builds run in one 64-bit (WoW64) prefix, as 64-bit Windows runs 32-bit
# programs, served by one persistent wineserver that spares every test
# process Wine's start-up.
windows_suites() {  # windows_suites LABEL TREE WINE TOOLCHAIN PROCESS_BITS
  local label=$1 tree=$2 wine=$3 toolchain=$4 bits=$5
  local with_wine=("${wine_environment[@]}" WINE="$wine")
  queue "windows tests ($label)" "$tree" "${with_wine[@]}" \
    ctest --test-dir "$tree" --output-on-failure -j "$jobs"
  queue "reg.exe transcript ($label)" "$tree" "${with_wine[@]}" \
    bash tests/qv/reg_transcript.sh "$root/$tree/tools/qv/qv.exe"
  queue "backends compared ($label)" "$tree" "${with_wine[@]}" \
    bash tests/qv/backends_compare.sh "$root/build/tools/qv/qv" "$root/$tree/tools/qv/qv.exe"
  queue "registry traces compared ($label)" "$tree" "${with_wine[@]}" QV_PROCESS_BITS="$bits" \
    bash tests/trace/compare_traces.sh "$root/build/tests/registry_trace" \
    "$root/$tree/tests/registry_trace.exe" "$wine"
  queue "windows package ($label)" "$tree" "${with_wine[@]}" \
    scripts/check_package.sh "$root/$tree" "$root/cmake/$toolchain" "$wine"
}

configure_and_build build-win -DCMAKE_BUILD_TYPE=Debug -DQV_BUILD_TESTS=ON \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake"
windows_suites "x86_64, 64-bit Wine" build-win /usr/lib/wine/wine64 mingw-x86_64.cmake 64

configure_and_build build-win32 -DCMAKE_BUILD_TYPE=Debug -DQV_BUILD_TESTS=ON \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake"
if ((runs_32)); then
  windows_suites "i686, 32-bit Wine" build-win32 /usr/lib/wine/wine mingw-i686.cmake 32
else
  for suite in "windows tests" "reg.exe transcript" "backends compared" \
               "registry traces compared" "windows package"; do
    not_run "$suite (i686, 32-bit Wine)" "$why_not_32"
  done
fi

configure_and_build build-m32 -DCMAKE_BUILD_TYPE=Debug -DQV_BUILD_TESTS=ON "${m32_toolchain[@]}" \
  "${m32_emulator[@]}"
if ((runs_32)); then
  queue "native 32-bit build" build-m32 ctest --test-dir build-m32 --output-on-failure -j "$jobs"
  queue "native package, 32-bit build" build-m32 \
    scripts/check_package.sh "$root/build-m32" "$root/cmake/linux-i686.cmake"
else
  queue "native 32-bit build (under qemu-i386: $why_not_32)" build-m32 \
    ctest --test-dir build-m32 --output-on-failure -j "$jobs"
  queue "native package, 32-bit build (under qemu-i386)" build-m32 \
    scripts/check_package.sh "$root/build-m32" "$root/cmake/linux-i686.cmake" \
    /usr/bin/qemu-i386-static
fi

configure_and_build build-asan -DCMAKE_BUILD_TYPE=Debug -DQV_BUILD_TESTS=ON \
  -DQV_SANITIZE=address,undefined
queue "ASan + UBSan tests" build-asan env "$ubsan" ctest --test-dir build-asan --output-on-failure -j "$jobs"

if ((runs_32)); then
  configure_and_build build-m32-asan -DCMAKE_BUILD_TYPE=Debug -DQV_BUILD_TESTS=ON \
    -DQV_SANITIZE=address,undefined "${m32_toolchain[@]}"
  queue "ASan + UBSan tests, 32-bit build" build-m32-asan \
    env "$ubsan" ctest --test-dir build-m32-asan --output-on-failure -j "$jobs"
else
  not_run "ASan + UBSan tests, 32-bit build" "$why_not_32 (ASan's allocator fails under qemu)"
fi

configure_and_build build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQV_SANITIZE=address,undefined -DQV_BUILD_FUZZERS=ON -DQV_BUILD_TESTS=OFF -DQV_BUILD_TOOLS=OFF
queue "fuzz runs (a short fixed run of each target)" build-fuzz scripts/fuzz_runs.sh build-fuzz

configure_and_build build-tsan -DCMAKE_BUILD_TYPE=Debug -DQV_BUILD_TESTS=ON -DQV_SANITIZE=thread \
  -DQV_BUILD_TOOLS=OFF -- concurrency_tests portable_concurrency_tests
queue "TSan concurrency tests" build-tsan \
  env TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan --output-on-failure -R concurrency

queue "wineserver stopped" wine "${wine_environment[@]}" \
  bash -c '/usr/lib/wine/wineserver -k >/dev/null 2>&1; true'

step "suites still queued"
wait
end_step

echo
echo "== summary"
passed=0 failed=0 skipped=0
for result in "$logs"/result.*; do
  read -r outcome seconds name <"$result"
  case $outcome in
    passed) passed=$((passed + 1)); printf '%4ds  %s: passed\n' "$seconds" "$name" ;;
    FAILED) failed=$((failed + 1)); printf '%4ds  %s: FAILED\n' "$seconds" "$name" ;;
    *) skipped=$((skipped + 1)); printf '        %s\n' "$name" ;;
  esac
done
echo "time of each step of the main line (the suites ran beside it):"
for index in "${!step_names[@]}"; do
  printf '%4ds  %s\n' "${step_seconds[$index]}" "${step_names[$index]}"
done
echo "whole run: $((SECONDS / 60)) min $((SECONDS % 60)) s"
echo "suites and builds: $passed passed, $failed failed, $skipped not run"
((failed == 0))
