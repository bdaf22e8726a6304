#!/usr/bin/env bash
# Times partition backup and restore (velloran-image, an optimised build without sanitizers) of a
# 1 GiB partition between image files against dd bs=16M on the same files in the same run, and
# prints the ratios (dd's time / ours: above 1 is faster than dd). A restore is timed with its
# reading back and without it; its peer with reading back is dd followed by cmp of the range.
# Every figure is the best of RUNS runs (default 5), ours and the peer's taken in turns so that
# both meet the same load and the same dirty page cache. Not a test: nothing passes or fails.
# Usage: bench/partition_images.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}

launch=()
command -v ccache >/dev/null && launch=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVU_SANITIZE=OFF "${launch[@]}" >/dev/null
cmake --build build/bench --target velloran-image >/dev/null
tool=$PWD/build/bench/src/image_tool/velloran-image

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
start=2048 sectors=2097152  # Part1: 1 GiB from 1 MiB on
truncate -s 1100M disk.img
printf 'label: dos\nstart=%d, size=%d, type=7\n' $start $sectors | sfdisk -q disk.img
head -c $((sectors * 512)) /dev/urandom | dd of=disk.img bs=16M seek=$((start * 512)) oflag=seek_bytes conv=notrunc status=none

# seconds COMMAND...: the wall time of one run.
seconds() {
    local t0 t1
    t0=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
    t1=$(date +%s.%N)
    awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }'
}

# row WHAT OURS PEER: runs both in turns $runs times and prints the best of each and their ratio.
row() {
    local ours="" peer="" t
    for _ in $(seq "$runs"); do
        t=$(seconds $2)
        ours=$(awk -v t="$t" -v b="$ours" 'BEGIN { print (b == "" || t < b) ? t : b }')
        t=$(seconds $3)
        peer=$(awk -v t="$t" -v b="$peer" 'BEGIN { print (b == "" || t < b) ? t : b }')
    done
    awk -v what="$1" -v ours="$ours" -v peer="$peer" \
        'BEGIN { printf "%-34s %8.2f s %8.2f s %8.2f\n", what, ours, peer, peer / ours }'
}

dd_backup() { dd if=disk.img of=dd.bin bs=16M skip=$((start * 512)) iflag=skip_bytes,count_bytes count=$((sectors * 512)) status=none; }
dd_restore() { dd if=ours.bin of=disk.img bs=16M seek=$((start * 512)) oflag=seek_bytes conv=notrunc status=none; }
dd_restore_cmp() { dd_restore && cmp -s -n $((sectors * 512)) -i $((start * 512)):0 disk.img ours.bin; }

ours_backup() { "$tool" backup disk.img 1 ours.bin; }
ours_restore() { "$tool" restore disk.img 1 ours.bin --no-verify; }
ours_restore_verified() { "$tool" restore disk.img 1 ours.bin; }

printf '%-34s %10s %10s %8s\n' "1 GiB partition, best of $runs" "ours" "dd bs=16M" "dd/ours"
row "backup" ours_backup dd_backup
cmp -s ours.bin dd.bin || { echo "the backups differ" >&2; exit 1; }
row "restore, no reading back" ours_restore dd_restore
row "restore, read back (dd + cmp)" ours_restore_verified dd_restore_cmp
