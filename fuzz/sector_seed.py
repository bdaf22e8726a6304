#!/usr/bin/env python3
"""Writes a disk or volume image in the sector form that the disk fuzz targets read
(fuzz/fuzz_support.h): the image size in 512-byte blocks, then every block that is not zero as
its block number and its 512 bytes, all numbers little-endian 32-bit.

Usage: sector_seed.py <image> <seed file>
"""
import struct
import sys


def main(argv):
    if len(argv) != 3:
        sys.stderr.write("usage: sector_seed.py <image> <seed file>\n")
        return 2
    with open(argv[1], "rb") as f:
        image = f.read()
    blocks = (len(image) + 511) // 512
    out = [struct.pack("<I", blocks - 1)]  # the target adds one
    for number in range(blocks):
        block = image[number * 512:(number + 1) * 512].ljust(512, b"\0")
        if any(block):
            out.append(struct.pack("<I", number) + block)
    with open(argv[2], "wb") as f:
        f.write(b"".join(out))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
