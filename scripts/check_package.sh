#!/usr/bin/env bash
# Installs a build into a staging prefix and builds the consumer project
# against it, with CMake's find_package and (natively) with pkg-config.
#   check_package.sh BUILD_DIR [TOOLCHAIN_FILE EMULATOR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
toolchain=${2:-}
emulator=${3:-}
stage="$build/stage"
consumer="$build/consumer"
rm -rf "$stage" "$consumer"
cmake --install "$build" --prefix "$stage" >/dev/null
args=(-S "$root/packaging/consumer" -B "$consumer" -G Ninja -DCMAKE_PREFIX_PATH="$stage")
[[ -n $toolchain ]] && args+=(-DCMAKE_TOOLCHAIN_FILE="$toolchain")
cmake "${args[@]}" >/dev/null
cmake --build "$consumer" >/dev/null
export QV_REGISTRY=:memory:
suffix=""
[[ -n $toolchain ]] && suffix=".exe"
$emulator "$consumer/consumer$suffix"
if [[ -z $toolchain ]]; then
  flags=$(PKG_CONFIG_PATH="$stage/lib/pkgconfig" pkg-config --cflags --libs quorvane-support)
  # shellcheck disable=SC2086
  g++ -std=c++17 "$root/packaging/consumer/main.cc" $flags -o "$consumer/consumer-pkgconfig"
  "$consumer/consumer-pkgconfig"
fi
