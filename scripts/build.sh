#!/usr/bin/env bash
# Configures and builds one tree: native (the simulated PC and the tests), tsan (the tests that
# start worker threads, with ThreadSanitizer), i686 or x86_64 (Windows).
# Usage: scripts/build.sh native|tsan|i686|x86_64 [extra cmake arguments]
# Prints the build folder as its last line.
set -euo pipefail
cd "$(dirname "$0")/.."
target=$1
shift
jobs=${VU_JOBS:-$(nproc)}
build=()

# ccache, when a developer has it installed, shares objects between checkouts of the tree; CI has
# none. Native builds compile with paths relative to the checkout so that every checkout hits the
# same entries (the Windows crash report needs its absolute source paths, so those keep them).
launch=()
if command -v ccache >/dev/null; then
    launch=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    case "$target" in native|tsan) export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1 ;; esac
fi

case "$target" in
    native)
        dir=build/native
        cmake -S . -B "$dir" -G Ninja -DVU_SANITIZE=ON "${launch[@]}" "$@" >/dev/null
        ;;
    tsan)
        dir=build/tsan
        cmake -S . -B "$dir" -G Ninja -DVU_TSAN=ON "${launch[@]}" "$@" >/dev/null
        build=(--target vu_tsan_tests)
        ;;
    i686|x86_64)
        prefix=$(scripts/build-windows-deps.sh "$target" | tail -n1)
        dir=build/$target
        cmake -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="cmake/toolchain-$target-w64-mingw32.cmake" \
            -DVU_DEPS_PREFIX="$prefix" "${launch[@]}" "$@" >/dev/null
        ;;
    *)
        echo "usage: $0 native|tsan|i686|x86_64" >&2
        exit 2
        ;;
esac
cmake --build "$dir" -j "$jobs" "${build[@]}" >&2
echo "$dir"
