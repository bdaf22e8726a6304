#!/usr/bin/env python3
"""Packs a folder into one of the program's packed packages.

The folder's files become a ZIP archive whose entries are stored without compression (folders
first, as their own entries, so that empty folders survive), and that archive is then wrapped in
the package block the program unpacks, little-endian throughout:

    0   4   unpacked size (the ZIP's length, never 0)
    4   4   packed size = block length - 12
    8   4   CRC-32 (zlib) of the unpacked bytes
    12  5   LZMA properties: 0x5D (lc 3, lp 0, pb 2), dictionary size 0x01000000
    17  ..  raw LZMA stream

The stream is what an .lzma ("alone") file carries after its 13-byte header, so the block holds
the 5 property bytes and no 8-byte size. Entry times are fixed so that the same folder always gives
the same bytes.

Usage: pack_package.py <folder> <output file>
"""
import lzma
import os
import struct
import sys
import zipfile
import zlib

DICTIONARY_SIZE = 1 << 24
LC, LP, PB = 3, 0, 2
ENTRY_TIME = (2016, 1, 1, 0, 0, 0)


def zip_folder(folder):
    """The stored ZIP of everything below `folder`, entries in a stable order."""
    import io

    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", compression=zipfile.ZIP_STORED) as archive:
        for root, dirs, files in os.walk(folder):
            dirs.sort()
            relative = os.path.relpath(root, folder)
            if relative != ".":
                info = zipfile.ZipInfo(relative.replace(os.sep, "/") + "/", ENTRY_TIME)
                info.external_attr = 0x10  # MS-DOS directory attribute
                archive.writestr(info, b"")
            for name in sorted(files):
                path = os.path.join(root, name)
                entry = os.path.relpath(path, folder).replace(os.sep, "/")
                info = zipfile.ZipInfo(entry, ENTRY_TIME)
                info.compress_type = zipfile.ZIP_STORED
                with open(path, "rb") as f:
                    archive.writestr(info, f.read())
    return buffer.getvalue()


def pack(unpacked):
    if not unpacked:
        raise ValueError("a package cannot be empty")
    filters = [{"id": lzma.FILTER_LZMA1, "dict_size": DICTIONARY_SIZE, "lc": LC, "lp": LP, "pb": PB,
                "preset": 9}]
    stream = lzma.compress(unpacked, format=lzma.FORMAT_RAW, filters=filters)
    properties = struct.pack("<BI", (PB * 5 + LP) * 9 + LC, DICTIONARY_SIZE)
    packed = properties + stream
    header = struct.pack("<III", len(unpacked), len(packed), zlib.crc32(unpacked) & 0xFFFFFFFF)
    return header + packed


def main(argv):
    if len(argv) != 3 or not os.path.isdir(argv[1]):
        sys.stderr.write("usage: pack_package.py <folder> <output file>\n")
        return 2
    block = pack(zip_folder(argv[1]))
    os.makedirs(os.path.dirname(os.path.abspath(argv[2])), exist_ok=True)
    with open(argv[2], "wb") as f:
        f.write(block)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
