#!/usr/bin/env bash
# Installs a build into a staging prefix and builds the consumer project
# against it, with CMake's find_package and, for Linux targets, with
# pkg-config too; the README's first program is built and run beside it,
# and every installed header is compiled with a program's own headers of the
# same names before the package's on the include path.
#   check_package.sh BUILD_DIR [TOOLCHAIN_FILE [EMULATOR]]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
toolchain=${2:-}
emulator=${3:-}
stage="$build/stage"
consumer="$build/consumer"
windows=0
[[ -n $toolchain ]] && grep -q 'CMAKE_SYSTEM_NAME Windows' "$toolchain" && windows=1
rm -rf "$stage" "$consumer"
cmake --install "$build" --prefix "$stage" >/dev/null
mkdir -p "$consumer"
sed -n '/^```cpp$/,/^```$/p' "$root/README.md" | sed '1d;$d' >"$consumer/readme_example.cc"
args=(-S "$root/packaging/consumer" -B "$consumer" -G Ninja -DCMAKE_PREFIX_PATH="$stage"
      -DQV_README_EXAMPLE="$consumer/readme_example.cc")
# The headers are the same for every build: held to the shadowing test once,
# in the native one.
[[ -z $toolchain ]] && args+=(-DQV_SHADOW_HEADERS=ON)
[[ -n $toolchain ]] && args+=(-DCMAKE_TOOLCHAIN_FILE="$toolchain")
cmake "${args[@]}" >/dev/null
cmake --build "$consumer" >/dev/null
export QV_REGISTRY=:memory:
suffix=""
((windows)) && suffix=".exe"
$emulator "$consumer/consumer$suffix"
$emulator "$consumer/readme_example$suffix"
if ((!windows)); then
  flags=$(PKG_CONFIG_PATH="$stage/lib/pkgconfig" pkg-config --static --cflags --libs quorvane-support)
  machine=()
  [[ -n $toolchain ]] && grep -q 'CMAKE_SYSTEM_PROCESSOR i686' "$toolchain" && machine=(-m32)
  # shellcheck disable=SC2086
  g++ -std=c++17 "${machine[@]}" "$root/packaging/consumer/main.cc" $flags \
    -o "$consumer/consumer-pkgconfig"
  $emulator "$consumer/consumer-pkgconfig"
fi

# As another project's subdirectory: the library alone is configured, built
# and installed (no tests, no qv, no headers of ours in the program's prefix).
if [[ -z $toolchain ]]; then
  subproject="$build/subproject"
  rm -rf "$subproject"
  cmake -S "$root/packaging/subproject" -B "$subproject" -G Ninja -DQV_SOURCE_DIR="$root" \
    -DQV_UNITY_BUILD=ON >/dev/null
  cmake --build "$subproject" >/dev/null
  QV_REGISTRY=:memory: "$subproject/app"
  cmake --install "$subproject" --prefix "$subproject/stage" >/dev/null
  installed=$(cd "$subproject/stage" && find . -type f | sort | tr '\n' ' ')
  if [[ $installed != "./bin/app " ]]; then
    echo "the subproject installed more than its program: $installed"
    exit 1
  fi
  foreign=$(cd "$subproject" && ninja -t targets all | grep -E '^(tools|tests|googletest|bench|fuzz)|/qv:|_tests:' || true)
  if [[ -n $foreign ]]; then
    echo "the subproject builds more than the library:"
    echo "$foreign"
    exit 1
  fi
  echo "subproject: the library alone, $(find "$subproject/quorvane-support" -name '*.o' | wc -l) units"
fi

