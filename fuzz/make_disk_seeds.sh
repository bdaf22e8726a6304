#!/usr/bin/env bash
# Remakes the disk-image seeds of the partition_table and exfat_walk targets from images built
# with the Linux tools, in the sector form of fuzz_support.h. exFAT files are written through
# exfat-fuse over a loop device, so this needs root and /dev/fuse.
# Usage: fuzz/make_disk_seeds.sh
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
loop=""
cleanup() {
    mountpoint -q "$work/mnt" && umount "$work/mnt"
    [ -n "$loop" ] && losetup -d "$loop"
    rm -rf "$work"
}
trap cleanup EXIT
seed() { python3 sector_seed.py "$work/$1" "$2"; }
blank() { rm -f "$work/$1"; truncate -s "$2" "$work/$1"; }
# A file system made in a file of its own and copied into the image at sector $2.
splice() { dd if="$work/$3" of="$work/$1" bs=512 seek="$2" conv=notrunc,sparse status=none; }

mkdir -p corpus/partition_table corpus/exfat_walk "$work/mnt"

# The office stick: FAT32 "CLOVER" (active) and exFAT "DATA".
blank stick.img 64M
printf 'label: dos\nlabel-id: 0x12345678\nstart=2048, size=61440, type=c, bootable\nstart=63488, type=7\n' |
    sfdisk -q "$work/stick.img"
mkfs.fat -F 32 -n CLOVER --offset=2048 "$work/stick.img" 30720 >/dev/null 2>&1
blank data.img $((67584 * 512))
mkfs.exfat -L DATA "$work/data.img" >/dev/null
splice stick.img 63488 data.img
seed stick.img corpus/partition_table/fat32-exfat.seed

# Logical partitions in an extended one, a FAT16 among them; the old start at sector 63.
blank logical.img 32M
printf 'label: dos\nstart=63, size=16321, type=6\nstart=16384, type=f\nstart=18432, size=8192, type=e\nstart=28672, size=4096, type=b\n' |
    sfdisk -q "$work/logical.img"
mkfs.fat -F 16 -s 1 -n OLDSTICK --offset=63 "$work/logical.img" 8160 >/dev/null
seed logical.img corpus/partition_table/extended.seed

# An NTFS partition, with only its boot sector and the first MFT records kept.
blank ntfs.img 16M
printf 'label: dos\nstart=2048, type=7\n' | sfdisk -q "$work/ntfs.img"
blank part.img $((30720 * 512))
mkntfs -F -Q -L System "$work/part.img" >/dev/null 2>&1
python3 - "$work/part.img" <<'PY'
import struct, sys
path = sys.argv[1]
data = bytearray(open(path, "rb").read())
cluster = struct.unpack_from("<H", data, 11)[0] * data[13]
mft = struct.unpack_from("<Q", data, 48)[0] * cluster
kept = bytearray(len(data))
kept[0:512] = data[0:512]
kept[mft:mft + 8192] = data[mft:mft + 8192]
open(path, "wb").write(kept)
PY
splice ntfs.img 2048 part.img
seed ntfs.img corpus/partition_table/ntfs.seed

# A GPT disk: the protective MBR and the GPT headers.
blank gpt.img 8M
printf 'label: gpt\nstart=2048, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7\n' | sfdisk -q "$work/gpt.img"
seed gpt.img corpus/partition_table/gpt.seed

# exFAT volumes with files, folders, long and non-ASCII names, and a folder of many entries
# that takes a chain of clusters.
exfat() {
    blank "$1" 1M
    mkfs.exfat -b 4096 -c 512 -L DATA "$work/$1" >/dev/null
    loop=$(losetup -f --show "$work/$1")
    mount.exfat-fuse "$loop" "$work/mnt" >/dev/null
    "$2" "$work/mnt"
    umount "$work/mnt"
    losetup -d "$loop"
    loop=""
    seed "$1" "corpus/exfat_walk/$3"
}
clover_files() {
    mkdir -p "$1/EFI/CLOVER/drivers" "$1/EFI/BOOT" "$1/Übersicht"
    echo config >"$1/EFI/CLOVER/config.plist"
    echo boot >"$1/EFI/BOOT/BOOTX64.efi"
    printf 'Clover revision: 5151\n' >"$1/boot"
    echo long >"$1/a long file name with more than fifteen characters.txt"
}
many_files() {
    mkdir -p "$1/many"
    for i in $(seq 1 24); do echo "$i" >"$1/many/file-$i.txt"; done
}
exfat clover.img clover_files clover.seed
exfat many.img many_files chained-folder.seed
