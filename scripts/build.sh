#!/usr/bin/env bash
# Configures and builds one tree: native (the simulated PC and the tests), i686 or x86_64 (Windows).
# Usage: scripts/build.sh native|i686|x86_64 [extra cmake arguments]
# Prints the build folder as its last line.
set -euo pipefail
cd "$(dirname "$0")/.."
target=$1
shift
jobs=${VU_JOBS:-$(nproc)}

case "$target" in
    native)
        dir=build/native
        cmake -S . -B "$dir" -G Ninja -DVU_SANITIZE=ON "$@" >/dev/null
        ;;
    i686|x86_64)
        prefix=$(scripts/build-windows-deps.sh "$target" | tail -n1)
        dir=build/$target
        cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="cmake/toolchain-$target-w64-mingw32.cmake" \
            -DVU_DEPS_PREFIX="$prefix" "$@" >/dev/null
        ;;
    *)
        echo "usage: $0 native|i686|x86_64" >&2
        exit 2
        ;;
esac
cmake --build "$dir" -j "$jobs" >&2
echo "$dir"
