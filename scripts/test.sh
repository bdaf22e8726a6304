#!/usr/bin/env bash
# Builds everything (the i686 release build, the x86_64 build that runs under Wine, the native
# tests with AddressSanitizer and UndefinedBehaviorSanitizer, the tests that start worker threads
# with ThreadSanitizer) and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
scripts/build.sh i686 >/dev/null
win64=$(scripts/build.sh x86_64 | tail -n1)
native=$(scripts/build.sh native -DVU_WIN64_BUILD_DIR="$PWD/$win64" | tail -n1)
tsan=$(scripts/build.sh tsan | tail -n1)
ctest --test-dir "$native" --output-on-failure -j "${VU_JOBS:-$(nproc)}"
ctest --test-dir "$tsan" --output-on-failure -j "${VU_JOBS:-$(nproc)}"
