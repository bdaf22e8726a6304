"""A UDIF (.dmg) writer for test fixtures: partitions split into chunks of a chosen type each
(zero, raw, ignore, ADC, zlib, bzip2, LZFSE of LZVN blocks, XZ, or any number for the
bad-input cases), the XML property list with its blkx tables, and the koly trailer with CRC-32
checksums. 7-Zip and dmg2img read what it writes.
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


def lzvn_block(data, start, end, table):
    """An LZVN block ("bvxn") for data[start:end]: greedy matches of 4 bytes or more found through
    `table` (4 bytes -> last position), up to 65535 bytes back, also into earlier blocks. Up to 3
    literals ride on a match opcode, whose match length that leaves room for (10, 8, 6 or 4);
    longer runs take literal opcodes, longer matches match opcodes at the same distance."""
    ops, lit, i, last = bytearray(), start, start, 0

    def emit(literal, m, d):
        nonlocal last
        while len(literal) > 3:
            n = min(len(literal), 271)
            ops.extend((bytes([0xE0 | n]) if n < 16 else bytes([0xE0, n - 16])) + literal[:n])
            literal = literal[n:]
        size, most = len(literal), (10, 8, 6, 4)[len(literal)]
        if m == 0:
            ops.extend(bytes([0xE0 | size]) + literal if size else b"")
            return
        if d == last and size:
            mm = min(m, most)
            ops.extend(bytes([size << 6 | (mm - 3) << 3 | 6]))
        elif d < 1536:
            mm = min(m, most)
            ops.extend(bytes([size << 6 | (mm - 3) << 3 | d >> 8, d & 0xFF]))
        elif d < 16384:
            mm = min(m, 34)
            ops.extend(bytes([0xA0 | size << 3 | (mm - 3) >> 2]) + struct.pack("<H", d << 2 | (mm - 3) & 3))
        else:
            mm = min(m, most)
            ops.extend(bytes([size << 6 | (mm - 3) << 3 | 7]) + struct.pack("<H", d))
        ops.extend(literal)
        last, m = d, m - mm
        while m:
            n = min(m, 271)
            ops.extend(bytes([0xF0 | n]) if n < 16 else bytes([0xF0, n - 16]))
            m -= n

    while i + 4 <= end:
        key = data[i:i + 4]
        candidate, table[key] = table.get(key), i
        if candidate is None or i - candidate > 0xFFFF:
            i += 1
            continue
        m = 4
        while i + m < end and data[candidate + m] == data[i + m]:
            m += 1
        emit(data[lit:i], m, i - candidate)
        i = lit = i + m
    emit(data[lit:end], 0, 0)
    ops += b"\x06" + bytes(7)
    return struct.pack("<4sII", b"bvxn", end - start, len(ops)) + ops


def lzfse_encode(data, piece=1 << 16):
    """An LZFSE stream of LZVN blocks. No raw blocks ("bvx-"): 7-Zip 26.02 reports a data error for
    a chunk holding one, although it writes the right bytes; what does not compress is stored as a
    raw chunk instead, as disk utilities do."""
    table = {}
    blocks = [lzvn_block(data, start, min(len(data), start + piece), table) for start in range(0, len(data), piece)]
    return b"".join(blocks) + b"bvx$"


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
    if kind == LZFSE:
        return lzfse_encode(data)
    return b"\x5a" * 64  # unknown types: bytes nobody may decode


def checksum(crc):
    return struct.pack(">II", 2, 32) + struct.pack(">I", crc) + b"\0" * 124


class Partition:
    """override(index, kind, data), when given, may return (kind, stored bytes) for a chunk.
    chunk_sectors is the size of every chunk, or the list of the chunks' first sectors. Without
    crc the partition's checksum is left out (type 0), for data the writer cannot decode."""

    def __init__(self, name, data, chunk_types=(ZLIB,), chunk_sectors=2048, override=None, crc=True):
        assert len(data) % SECTOR == 0
        self.name, self.data = name, data
        self.chunk_types, self.chunk_sectors = chunk_types, chunk_sectors
        self.override, self.crc = override, crc

    def chunks(self):
        sectors = len(self.data) // SECTOR
        starts = self.chunk_sectors
        if isinstance(starts, int):
            starts = range(0, sectors, starts)
        starts = list(starts) + [sectors]
        return [(a, b - a) for a, b in zip(starts, starts[1:])]


def mish(partition, first_sector, fork_offset, comments=False):
    """The blkx table and the chunk bytes of one partition. Chunk types cycle through
    chunk_types; an all-zero chunk of a compressing type is written as a zero chunk."""
    sectors = len(partition.data) // SECTOR
    entries, payload, crc = [], bytearray(), 0
    if comments:
        entries.append(struct.pack(">IIQQQQ", COMMENT, 0x2B626567, 0, 0, 0, 0))
    for index, (start, count) in enumerate(partition.chunks()):
        data = partition.data[start * SECTOR:(start + count) * SECTOR]
        kind = partition.chunk_types[index % len(partition.chunk_types)]
        if kind >= ADC and kind in (ADC, ZLIB, BZIP2, LZFSE, XZ) and not any(data):
            kind = ZERO
        if kind in (ZERO, IGNORE) and any(data):
            kind = RAW
        packed = encode(kind, data)
        if kind in (ZLIB, LZFSE) and len(packed) >= len(data):
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
    head += (checksum(crc) if partition.crc else bytes(136)) + struct.pack(">I", len(entries))
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
        master = zlib.crc32(table[64 + 8:64 + 8 + struct.unpack(">I", table[68:72])[0] // 8], master)
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
