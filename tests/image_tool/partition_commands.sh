#!/bin/sh
# velloran-image backup and restore on a two-partition image: the bytes round-trip, the restored
# partition becomes HFS+ of the image's size, and refusals exit 1 (a run) or 2 (the arguments).
# Usage: partition_commands.sh VELLORAN-IMAGE WORK-DIR
set -u
tool=$1
work=$2
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

expect_exit() {  # expected-code description command...
    want=$1 what=$2
    shift 2
    "$@" >out.txt 2>&1
    got=$?
    [ "$got" = "$want" ] || fail "$what: exit $got, expected $want: $(cat out.txt)"
}

truncate -s 64M disk.img
printf 'label: dos\nstart=2048, size=40960, type=c\nstart=43008, size=86016, type=7\n' | sfdisk -q disk.img || exit 1
head -c 20971520 /dev/urandom | dd of=disk.img bs=512 seek=2048 conv=notrunc status=none

expect_exit 0 "backup of Part1" "$tool" backup disk.img 1 p1.bin
dd if=disk.img of=expected.bin bs=512 skip=2048 count=40960 status=none
cmp -s p1.bin expected.bin || fail "the backup is not Part1's bytes"
grep -q ' Done$' out.txt || fail "no final line: $(cat out.txt)"

expect_exit 0 "restore onto Part2" "$tool" restore disk.img 2 p1.bin
grep -q '^Verifying \.\.\.$' out.txt || fail "the restore was not read back: $(cat out.txt)"
dd if=disk.img of=written.bin bs=512 skip=43008 count=40960 status=none
cmp -s p1.bin written.bin || fail "Part2 does not hold the image"
sfdisk --dump disk.img | grep -q 'start=       43008, size=       40960, type=af' ||
    fail "Part2 is not HFS+ of the image's size: $(sfdisk --dump disk.img)"

head -c 20971521 /dev/zero >big.bin
expect_exit 1 "an image larger than Part1" "$tool" restore disk.img 1 big.bin
grep -q 'File too big:' out.txt || fail "the refusal is not shown: $(cat out.txt)"
expect_exit 2 "a partition the disk lacks" "$tool" backup disk.img 3 x.bin
expect_exit 2 "PART is no number" "$tool" backup disk.img one x.bin
expect_exit 2 "a missing image to restore" "$tool" restore disk.img 1 missing.bin

[ "$failures" = 0 ] && echo "all checks passed"
exit "$failures"
