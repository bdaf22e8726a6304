#!/usr/bin/env bash
# Builds the libFuzzer targets under fuzz/targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for SECONDS (default 60), starting from its seeds and
# past findings. Prints one line per target: executions, edges covered, corpus size and findings.
# Exits 1 when any target found something; the inputs are kept under build/fuzz/findings/<target>/
# (once fixed, copy one into fuzz/regressions/<target>/: the test command replays that folder).
# Each target runs with a temporary folder of its own (in /dev/shm when there is one: the simulated
# PC's files are many and short-lived), removed afterwards, so that files of the simulated PC do
# not outlive a crashed or killed run.
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true

scripts/setup.sh
if ! command -v clang++ >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends clang >/dev/null
fi
dir=build/fuzz
launch=()
if command -v ccache >/dev/null; then
    launch=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DVU_FUZZ=ON "${launch[@]}" >/dev/null
cmake --build "$dir" -j "${VU_JOBS:-$(nproc)}" >&2

targets=("$@")
if [ ${#targets[@]} = 0 ]; then
    for source in fuzz/targets/*.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi

scratch=/dev/shm
[ -d "$scratch" ] || scratch=$PWD/$dir/tmp && mkdir -p "$scratch"
status=0
printf '%-20s %12s %7s %7s %9s\n' target executions edges corpus findings
for name in "${targets[@]}"; do
    work=$dir/work/$name findings=$dir/findings/$name
    mkdir -p "$work" "$findings"
    tmp=$(mktemp -d "$scratch/vu-fuzz-$name-XXXXXX")
    seeds=()
    for folder in fuzz/corpus/$name fuzz/regressions/$name; do
        [ -d "$folder" ] && seeds+=("$folder")
    done
    log=$dir/$name.log
    # -fork keeps going after a finding, so one run counts them all; each lands in $findings.
    TMPDIR=$tmp "$dir/fuzz/fuzz_$name" -max_total_time="$seconds" -fork=1 -ignore_crashes=1 \
        -ignore_timeouts=1 -ignore_ooms=1 -rss_limit_mb=2048 -timeout=10 -artifact_prefix="$findings/" \
        "$work" "${seeds[@]}" >"$log" 2>&1 || true
    rm -rf "$tmp"
    execs=$(grep -o '^#[0-9]*' "$log" | tr -d '#' | sort -n | tail -n1)
    edges=$(grep -o 'cov: [0-9]*' "$log" | awk '{print $2}' | sort -n | tail -n1)
    corpus=$(find "$work" -type f | wc -l)
    found=$(find "$findings" -type f | wc -l)
    printf '%-20s %12s %7s %7s %9s\n' "$name" "${execs:-0}" "${edges:-0}" "$corpus" "$found"
    [ "$found" = 0 ] || status=1
done
exit $status
