#!/usr/bin/env bash
# Builds and runs the benchmarks and prints every ratio as one table:
# the portable backend with Google Benchmark, then the win32 backend's timing
# loop under Wine when the Windows toolchain is there.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
export QV_REGISTRY=:memory:
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQV_BUILD_BENCHMARKS=ON \
  -DQV_BUILD_TESTS=OFF -DQV_BUILD_TOOLS=OFF >/dev/null
cmake --build build-bench >/dev/null
results=()
for bench in registry_bench path_bench enumeration_bench; do
  build-bench/bench/$bench --benchmark_format=json --benchmark_out="build-bench/$bench.json" \
    --benchmark_min_time=0.2 >/dev/null
  results+=("build-bench/$bench.json")
done
echo "Portable backend (Google Benchmark, one run, same machine):"
echo
python3 bench/report.py "${results[@]}"

if command -v x86_64-w64-mingw32-g++-posix >/dev/null && [[ -x /usr/lib/wine/wine64 ]]; then
  cmake -S . -B build-win-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQV_BUILD_BENCHMARKS=ON \
    -DQV_BUILD_TESTS=OFF -DQV_BUILD_TOOLS=OFF \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" >/dev/null
  cmake --build build-win-bench >/dev/null
  echo
  echo "win32 backend under Wine (plain timing loop):"
  echo
  WINEPREFIX="$root/build-win/wineprefix" WINEDEBUG=-all \
    /usr/lib/wine/wine64 build-win-bench/bench/win32/win32_timing.exe | tr -d '\r'
fi
