"""A UDIF (.dmg) writer for test fixtures: partitions split into chunks of a chosen type each
(zero, raw, ignore, ADC, zlib, bzip2, XZ, or any number for the bad-input cases), the XML
property list with its blkx tables, and the koly trailer with CRC-32 checksums. 7-Zip and
dmg2img read what it writes.
"""
import bz2
import lzma
import plistlib
import struct
import zlib

ZERO, RAW, IGNORE, ADC, ZLIB, BZIP2, LZFSE, XZ = 0, 1, 2, 0x80000004, 0x80000005, 0x80000006, 0x80000007, 0x80000008
COMMENT, END = 0x7FFFFFFE, 0xFFFFFFFF
SECTOR = 512


def adc_encode(data):
    """ADC: literal runs of up to 128 bytes and copies of 4..67 bytes from up to 65536 back."""
    out = bytearray()
    literals = bytearray()
    table = {}
    i = 0

    def flush():
        for start in range(0, len(literals), 128):
            run = literals[start:start + 128]
            out.append(0x80 | (len(run) - 1))
            out.extend(run)
        literals.clear()

    while i < len(data):
        key = bytes(data[i:i + 4])
        candidate = table.get(key) if len(key) == 4 else None
        table[key] = i
        if candidate is not None and 0 < i - candidate <= 65536:
            length = 4
            while length < 67 and i + length < len(data) and data[candidate + length] == data[i + length]:
                length += 1
            flush()
            distance = i - candidate - 1
            out.append(0x40 | (length - 4))
            out.extend(struct.pack(">H", distance))
            i += length
        else:
            literals.append(data[i])
            i += 1
    flush()
    return bytes(out)


def encode(kind, data):
    if kind in (ZERO, IGNORE):
        return b""
    if kind == RAW:
        return data
    if kind == ADC:
        return adc_encode(data)
    if kind == ZLIB:
        return zlib.compress(data, 1)
    if kind == BZIP2:
        return bz2.compress(data, 1)
    if kind == XZ:
        return lzma.compress(data, format=lzma.FORMAT_XZ, check=lzma.CHECK_CRC32, preset=1)
    return b"\x5a" * 64  # LZFSE and unknown types: bytes nobody may decode


def checksum(crc):
    return struct.pack(">II", 2, 32) + struct.pack(">I", crc) + b"\0" * 124


class Partition:
    """override(index, kind, data), when given, may return (kind, stored bytes) for a chunk."""

    def __init__(self, name, data, chunk_types=(ZLIB,), chunk_sectors=2048, override=None):
        assert len(data) % SECTOR == 0
        self.name, self.data = name, data
        self.chunk_types, self.chunk_sectors = chunk_types, chunk_sectors
        self.override = override


def mish(partition, first_sector, fork_offset, comments=False):
    """The blkx table and the chunk bytes of one partition. Chunk types cycle through
    chunk_types; an all-zero chunk of a compressing type is written as a zero chunk."""
    sectors = len(partition.data) // SECTOR
    entries, payload, crc = [], bytearray(), 0
    if comments:
        entries.append(struct.pack(">IIQQQQ", COMMENT, 0x2B626567, 0, 0, 0, 0))
    for index, start in enumerate(range(0, sectors, partition.chunk_sectors)):
        count = min(partition.chunk_sectors, sectors - start)
        data = partition.data[start * SECTOR:(start + count) * SECTOR]
        kind = partition.chunk_types[index % len(partition.chunk_types)]
        if kind >= ADC and kind in (ADC, ZLIB, BZIP2, XZ) and not any(data):
            kind = ZERO
        if kind in (ZERO, IGNORE) and any(data):
            kind = RAW
        packed = encode(kind, data)
        if kind == ZLIB and len(packed) >= len(data):
            kind, packed = RAW, data  # as disk utilities store what does not compress
        if partition.override:
            kind, packed = partition.override(index, kind, data) or (kind, packed)
        entries.append(struct.pack(">IIQQQQ", kind, 0, start, count, fork_offset + len(payload), len(packed)))
        payload += packed
        if kind != IGNORE:
            crc = zlib.crc32(data, crc)
    if comments:
        entries.append(struct.pack(">IIQQQQ", COMMENT, 0x2B656E64, sectors, 0, 0, 0))
    entries.append(struct.pack(">IIQQQQ", END, 0, sectors, 0, fork_offset + len(payload), 0))
    head = struct.pack(">4sIQQQII", b"mish", 1, first_sector, sectors, 0, 0x208, 0) + b"\0" * 24
    head += checksum(crc) + struct.pack(">I", len(entries))
    assert len(head) == 204
    return head + b"".join(entries), bytes(payload), crc


def build(partitions, comments=False, mutate=None, fork_offset=0):
    """The whole .dmg. mutate(tables, koly_fields), when given, may change the blkx tables (a list
    of bytearrays) and the trailer's fields before they are written. fork_offset places the data
    fork (and the property list after it) that far into a file that holds more before them: the
    trailer's offsets count from that file's start."""
    fork = bytearray()
    tables, crcs, sector = [], [], 0
    for partition in partitions:
        table, payload, crc = mish(partition, sector, len(fork), comments)
        tables.append(bytearray(table))
        crcs.append(crc)
        fork += payload
        sector += len(partition.data) // SECTOR
    fields = {"version": 4, "data_crc": zlib.crc32(fork), "sectors": sector, "master_crc": None}
    if mutate:
        mutate(tables, fields)
    master = 0
    for table in tables:
        master = zlib.crc32(table[64 + 8:64 + 12], master)
    if fields["master_crc"] is None:
        fields["master_crc"] = master
    blkx = [{"Attributes": "0x0050", "CFName": p.name, "Data": bytes(t), "ID": str(i - 1), "Name": p.name}
            for i, (p, t) in enumerate(zip(partitions, tables))]
    xml = plistlib.dumps({"resource-fork": {"blkx": blkx}})
    xml_offset = fork_offset + len(fork)
    koly = struct.pack(">4sIIIQQQQQIIQQ", b"koly", fields["version"], 512, 1, 0, fork_offset, len(fork), 0, 0, 1, 1,
                       0, 0)
    koly += checksum(fields["data_crc"])
    koly += struct.pack(">QQ", xml_offset, len(xml)) + b"\0" * 120
    koly += checksum(fields["master_crc"])
    koly += struct.pack(">IQ", 1, fields["sectors"]) + b"\0" * 12
    assert len(koly) == 512
    return bytes(fork) + xml + koly
