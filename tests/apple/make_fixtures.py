"""Writes the disk-image fixtures of the HFS extraction tests into OUTDIR: HFS+ volumes, DMG files
with every chunk type and with one fault each, and Recovery HD packages nested as Apple ships
them (xar -> RecoveryHDMeta.dmg -> HFS+ volume -> BaseSystem.dmg + BaseSystem.chunklist ->
HFS partition), and chunk lists signed by keys made anew on each run (chunklist_writer.py) with
the key file that trusts one of them. Deterministic but for those keys and signatures.

Usage: make_fixtures.py OUTDIR
       make_fixtures.py --fuzz-seeds FUZZ_CORPUS_DIR   (small seeds of the fuzz targets)
"""
import json
import os
import random
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import hfsplus_writer as hw  # noqa: E402
import udif_writer as uw  # noqa: E402
from chunklist_writer import TestKey, chunklist, signed  # noqa: E402

LZFSE_VECTORS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixtures", "lzfse")
ALL_TYPES = (uw.ZLIB, uw.RAW, uw.ADC, uw.BZIP2, uw.XZ)
DMG2IMG_TYPES = (uw.ZLIB, uw.RAW, uw.ADC, uw.BZIP2)  # dmg2img decodes no XZ


def system_version(build, version):
    return (b'<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0">\n<dict>\n'
            b"\t<key>ProductBuildVersion</key>\n\t<string>%s</string>\n"
            b"\t<key>ProductVersion</key>\n\t<string>%s</string>\n</dict>\n</plist>\n" % (build, version))


def recovery_volume():
    """The stand-in for the recovery system: folders, text, random bytes, zeros, a file in
    twenty pieces and a catalog of small nodes spanning many leaves."""
    rnd = random.Random(15)
    volume = hw.Volume("OS X Base System", node_size=512)
    volume.add_file("System/Library/CoreServices/SystemVersion.plist", system_version(b"16G29", b"10.12.6"))
    for i in range(40):
        volume.add_file("System/Library/file%02d.txt" % i, ("line %d of a text file\n" % i).encode() * (i * 20))
    volume.add_file("usr/bin/random.bin", bytes(rnd.getrandbits(8) for _ in range(150000)))
    volume.add_file("usr/lib/sparse.bin", b"\0" * 200000 + b"end")
    volume.add_file("Install.app/pieces.bin", bytes(rnd.getrandbits(8) for _ in range(90000)), fragments=20)
    return volume.build(extra_blocks=64)


def compressed_volume():
    """Files stored compressed (decmpfs) each beside a plain copy in "plain/", and two that cannot
    be expanded: one LZFSE-compressed, one with a damaged block."""
    rnd = random.Random(24)
    text = b"".join(b"line %d of a text that compresses well\n" % i for i in range(9000))
    version = (b'<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0">\n<dict>\n'
               b"\t<key>ProductBuildVersion</key>\n\t<string>19H2</string>\n"
               b"\t<key>ProductVersion</key>\n\t<string>10.15.7</string>\n</dict>\n</plist>\n")
    files = {"SystemVersion.plist": (version, 3), "noise-inline": (rnd.randbytes(3000), 3),
             "text": (text, 4), "noise": (rnd.randbytes(150000), 4),
             "mixed": (text[:100000] + rnd.randbytes(70000) + bytes(65536), 4)}
    volume = hw.Volume("macOS Base System")
    for name, (data, kind) in files.items():
        volume.add_file("plain/" + name, data)
        folder = "System/Library/CoreServices/" if name == "SystemVersion.plist" else "packed/"
        volume.add_file(folder + name, data, decmpfs=kind, fragments=10 if name == "mixed" else 0)
    volume.add_file("packed/lzfse", text, decmpfs=12)
    volume.add_file("packed/damaged", text, decmpfs=4, damaged=True)
    return volume.build()


def server_images(write, trusted, other):
    """server/: a recovery volume as the recovery server serves them (14.6.1, 23G80; many blocks for
    a transfer, several chunks for its list), its zlib image and one with a damaged chunk, and
    lists signed by the tests' trusted key, by another key, and unsigned."""
    rnd = random.Random(23)
    volume = hw.Volume("macOS Base System")
    volume.add_file("System/Library/CoreServices/SystemVersion.plist", system_version(b"23G80", b"14.6.1"))
    volume.add_file("usr/lib/random.bin", rnd.randbytes(1500000))
    volume.add_file("usr/share/words.txt", b"".join(b"word %d of the recovery system\n" % i for i in range(40000)))
    volume = volume.build()
    image = uw.build(gpt_layout(volume, (uw.ZLIB,), 2048))
    listed, damaged = chunklist(image, chunk=262144), bytearray(image)
    damaged[len(image) // 2] ^= 0x40
    for name, data in (("volume.hfs", volume), ("BaseSystem.dmg", image), ("damaged.dmg", bytes(damaged)),
                       ("signed.chunklist", signed(listed, trusted)), ("other-key.chunklist", signed(listed, other)),
                       ("unsigned.chunklist", listed)):
        write("server/" + name, data)


def gpt_layout(hfs, hfs_types, chunk_sectors=64, override=None, index=4):
    """Partitions named as in Apple's GPT images, the HFS one at `index`."""
    small = lambda name, n, fill: uw.Partition(name, fill * (512 * n), (uw.RAW,))  # noqa: E731
    parts = [small("Protective Master Boot Record (MBR : 0)", 1, b"\1"),
             small("GPT Header (Primary GPT Header : 1)", 1, b"\2"),
             small("GPT Partition Data (Primary GPT Table : 2)", 32, b"\3"),
             uw.Partition(" (Apple_Free : 3)", b"\0" * 512 * 6, (uw.IGNORE,))]
    parts = parts[:index]
    parts.append(uw.Partition("disk image (Apple_HFS : %d)" % index, hfs, hfs_types, chunk_sectors, override))
    parts += [uw.Partition(" (Apple_Free : %d)" % (index + 1), b"\0" * 512 * 10, (uw.IGNORE,)),
              small("GPT Partition Data (Backup GPT Table : %d)" % (index + 2), 32, b"\3"),
              small("GPT Header (Backup GPT Header : %d)" % (index + 3), 1, b"\2")]
    return parts


def apm_layout(hfs, hfs_types, chunk_sectors=64):
    return [uw.Partition("Driver Descriptor Map (DDM : 0)", b"\4" * 512, (uw.RAW,)),
            uw.Partition("Apple (Apple_partition_map : 1)", b"\5" * 512 * 63, (uw.RAW,)),
            uw.Partition("disk image (Apple_HFS : 2)", hfs, hfs_types, chunk_sectors),
            uw.Partition(" (Apple_Free : 3)", b"\0" * 512 * 10, (uw.IGNORE,))]


def xar(out, files, compression="gzip"):
    """A xar archive of `files` (name -> bytes), written by bsdtar as Apple's flat packages are."""
    with tempfile.TemporaryDirectory() as folder:
        for name, data in files.items():
            path = os.path.join(folder, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
        subprocess.run(["bsdtar", "--format", "xar", "--options", "xar:compression=" + compression, "-cf",
                        os.path.abspath(out), "-C", folder] + sorted(files), check=True)


def xar_entry_offset(archive, name):
    """Where the stored bytes of entry `name` start in the xar file `archive`."""
    toc_length = struct.unpack(">Q", archive[8:16])[0]
    header_size = struct.unpack(">H", archive[4:6])[0]
    toc = ElementTree.fromstring(zlib.decompress(archive[header_size:header_size + toc_length]))
    for entry in toc.iter("file"):
        if entry.findtext("name") == name:
            return header_size + toc_length + int(entry.find("data").findtext("offset"))
    raise KeyError(name)


def installer_product_package(out, meta_parts):
    """A RecoveryHDMetaDmg.pkg as the 10.13 to 10.15 installer products carry it: a xar whose
    RecoveryHDMeta.dmg entry is stored as it is, the image's data fork and property list, and
    whose file then ends in the koly trailer that makes the whole package a disk image."""
    body = uw.build(meta_parts)[:-512]
    xar(out, {"RecoveryHDMeta.dmg": body, "PackageInfo": b"<pkg-info/>\n"}, compression="none")
    with open(out, "rb") as f:
        archive = f.read()
    offset = xar_entry_offset(archive, "RecoveryHDMeta.dmg")
    image = uw.build(meta_parts, fork_offset=offset)
    assert archive[offset:offset + len(body)] == image[:-512]
    with open(out, "ab") as f:
        f.write(image[-512:])


def recovery_package(out, base_dmg, with_chunklist=True, chunklist_damage=None, decmpfs=None,
                     catalog_loop=False, with_meta=True, installer_product=False):
    """Returns the RecoveryHDMeta.dmg and its volume. decmpfs: the type BaseSystem.dmg is stored
    compressed with; its chunk list then is too, in its attribute."""
    meta = hw.Volume("Recovery HD Update", node_size=512)
    meta.add_file("BaseSystem.dmg", base_dmg, fragments=12, decmpfs=decmpfs)
    if with_chunklist:
        meta.add_file("BaseSystem.chunklist", chunklist(base_dmg, damage=chunklist_damage),
                      decmpfs=decmpfs and 3)
    meta.add_file("com.apple.recovery.boot/PlatformSupport.plist", b"<plist/>\n")
    meta_volume = meta.build(catalog_loop=catalog_loop)
    meta_parts = gpt_layout(meta_volume, (uw.ZLIB, uw.RAW), 128)
    if installer_product:
        installer_product_package(out, meta_parts)
        return None, meta_volume
    meta_dmg = uw.build(meta_parts)
    files = {"Scripts/postinstall": b"#!/bin/sh\nexit 0\n", "PackageInfo": b"<pkg-info/>\n"}
    if with_meta:
        files["RecoveryHDMeta.dmg"] = meta_dmg
    xar(out, files)
    return meta_dmg, meta_volume


def lzfse_vector(name):
    with open(os.path.join(LZFSE_VECTORS, name), "rb") as f:
        return f.read()


def lzfse_manifest():
    """name -> {"decoded_size", "decoded_sha256", ...} of every reference stream."""
    with open(os.path.join(LZFSE_VECTORS, "manifest.json")) as f:
        return {v["name"]: v for v in json.load(f)}


def plain_tables(stream):
    """The stream with its "bvx2" blocks rewritten as "bvx1" blocks (plain tables), which the
    reference encoder never writes."""
    out, at = bytearray(), 0
    while stream[at:at + 4] != b"bvx$":
        magic, raw = stream[at:at + 4], struct.unpack_from("<I", stream, at + 4)[0]
        if magic != b"bvx2":
            size = 8 + raw if magic == b"bvx-" else 12 + struct.unpack_from("<I", stream, at + 8)[0]
            out += stream[at:at + size]
            at += size
            continue
        w0, w1, w2 = struct.unpack_from("<QQQ", stream, at + 8)
        f = lambda w, lsb, n: (w >> lsb) & ((1 << n) - 1)  # noqa: E731
        codes, frequencies = int.from_bytes(stream[at + 32:at + (w2 & 0xFFFFFFFF)], "little"), []
        for _ in range(360):
            ones = next(i for i in range(5) if i == 4 or not codes >> i & 1)
            size, value = [(2, codes >> 1 & 1), (3, 2 + (codes >> 2 & 1)), (5, 4 + (codes >> 3 & 3)),
                           (8, 8 + (codes >> 4 & 15)), (14, 24 + (codes >> 4 & 1023))][ones]
            frequencies.append(value)
            codes >>= size
        literal_bytes, lmd_bytes = f(w0, 20, 20), f(w1, 40, 20)
        out += struct.pack("<4s6Ii4HiHHH", b"bvx1", raw, literal_bytes + lmd_bytes, f(w0, 0, 20), f(w0, 40, 20),
                           literal_bytes, lmd_bytes, f(w0, 60, 3) - 7, *(f(w1, 10 * i, 10) for i in range(4)),
                           f(w1, 60, 3) - 7, f(w2, 32, 10), f(w2, 42, 10), f(w2, 52, 10))
        out += struct.pack("<360H", *frequencies) + b"\0\0"
        at += (w2 & 0xFFFFFFFF)
        out += stream[at:at + literal_bytes + lmd_bytes]
        at += literal_bytes + lmd_bytes
    return bytes(out) + b"bvx$"


def stream_chunks(image, placeholders, grid=64):
    """Chunk starts for a volume cut every `grid` sectors, except that each placeholder (whole
    sectors, found in the order the volume holds them) becomes one chunk, where a reference stream
    will go; those are zeroed in `image`. Returns the starts and the placeholders' offsets."""
    sectors, cuts, offsets, at = len(image) // 512, set(range(0, len(image) // 512, grid)), [], 0
    for placeholder in placeholders:
        at = image.find(placeholder[:1024], at)
        assert at % 512 == 0 and len(placeholder) % 512 == 0
        offsets.append(at)
        image[at:at + len(placeholder)] = bytes(len(placeholder))
        first, last = at // 512, (at + len(placeholder)) // 512
        cuts = {c for c in cuts if not first < c < last} | {first, last}
    return sorted(c for c in cuts if c < sectors), offsets


# The reference streams of other sizes than whole sectors share one chunk: their blocks one after
# the other, then an LZVN block of ours up to the next sector. one-byte.lzfse is left out: its raw
# block makes 7-Zip report a data error (see udif_writer.lzfse_encode).
SHARED_STREAMS = ("empty.lzfse", "small-text.lzfse", "incompressible.lzfse", "text.lzfse", "records.lzfse")


def shared_stream():
    """The shared chunk's stream, its decoded size, each stream's (name, offset in it), and the
    padding."""
    blocks, places, size = b"", [], 0
    for name in SHARED_STREAMS:
        places.append((name, size))
        blocks += lzfse_vector(name)[:-4]
        size += lzfse_manifest()[name]["decoded_size"]
    padding = (b"padding " * 64)[:-size % 512]
    return blocks + uw.lzvn_block(padding, 0, len(padding), {}) + b"bvx$", size + len(padding), places, padding


def lzfse_dmg(edit=lambda stream: stream):
    """A "ULFO" image whose HFS volume has a file for each of the reference streams, one chunk each
    (mixed-1mib.lzfse, which `edit` may damage, zeros.lzfse, mixed-large.lzfse), or one chunk for
    SHARED_STREAMS; our own LZVN blocks hold the rest. The decoded streams are known only by their
    digests, so the partition has no checksum. Returns the image, the volume with zeros in place of
    the streams, and (name, offset in the volume, decoded size) for every stream."""
    volume = hw.Volume("LZFSE", node_size=512)
    volume.add_file("notes.txt", b"The files beside this one come from LZFSE streams.\n" * 300)
    shared, shared_size, places, padding = shared_stream()
    chunks = {name: lzfse_vector(name) for name in ("zeros.lzfse", "mixed-1mib.lzfse", "mixed-large.lzfse")}
    chunks["mixed-1mib.lzfse"] = edit(chunks["mixed-1mib.lzfse"])
    chunks["shared.lzfse"] = shared
    sizes = {name: lzfse_manifest()[name]["decoded_size"] for name in chunks if name != "shared.lzfse"}
    sizes["shared.lzfse"] = shared_size
    placeholders = [(name.encode().ljust(64, b"#") * (sizes[name] // 64 + 1))[:sizes[name]] for name in chunks]
    for name, placeholder in zip(chunks, placeholders):
        volume.add_file(name[:-6] + ".bin", placeholder)
    image = bytearray(volume.build())
    starts, offsets = stream_chunks(image, placeholders)
    at = dict(zip(chunks, offsets))
    streams = {starts.index(at[name] // 512): chunks[name] for name in chunks}
    image[at["shared.lzfse"] + shared_size - len(padding):at["shared.lzfse"] + shared_size] = padding
    parts = gpt_layout(bytes(image), (uw.LZFSE,), starts,
                       lambda i, kind, data: (uw.LZFSE, streams[i]) if i in streams else None)
    parts[4].crc = False
    found = [(name, at[name], sizes[name]) for name in chunks if name != "shared.lzfse"]
    found += [(name, at["shared.lzfse"] + offset, lzfse_manifest()[name]["decoded_size"]) for name, offset in places]
    return uw.build(parts), bytes(image), found


def flip(data, at):
    return data[:at] + bytes([data[at] ^ 0x01]) + data[at + 1:]


def main(outdir):
    os.makedirs(outdir, exist_ok=True)

    def write(name, data):
        with open(os.path.join(outdir, name), "wb") as f:
            f.write(data)

    volume = recovery_volume()
    write("volume.hfs", volume)
    write("all-types.dmg", uw.build(gpt_layout(volume, ALL_TYPES), comments=True))
    write("dmg2img-types.dmg", uw.build(gpt_layout(volume, DMG2IMG_TYPES)))
    two = gpt_layout(volume, (uw.ZLIB,))
    two.insert(5, uw.Partition("second (Apple_HFSX : 5)", volume, (uw.BZIP2,), 128))
    write("two-hfs.dmg", uw.build(two))
    write("notes.dmg", b"These are notes, not a disk image.\n" * 40)

    good = uw.build(gpt_layout(volume, ALL_TYPES))
    write("truncated.dmg", good[:len(good) * 3 // 5])

    def table_edit(edit):
        def mutate(tables, fields):
            edit(tables[4], fields)
        return uw.build(gpt_layout(volume, ALL_TYPES), mutate=mutate)

    def flip_table(table, at):
        table[at] ^= 0x01

    write("bad-partition-crc.dmg", table_edit(lambda t, f: flip_table(t, 64 + 11)))
    write("bad-data-crc.dmg", table_edit(lambda t, f: f.update(data_crc=f["data_crc"] ^ 1)))
    write("bad-master-crc.dmg", table_edit(lambda t, f: f.update(master_crc=0x12345678)))
    write("bad-koly-version.dmg", table_edit(lambda t, f: f.update(version=3)))
    write("mish-count.dmg", table_edit(lambda t, f: t.__setitem__(slice(200, 204),
                                                                  struct.pack(">I", struct.unpack(">I", t[200:204])[0] + 1))))

    def chunk_fault(index, fault):
        def override(i, kind, data):
            return fault(kind, data) if i == index else None
        return uw.build(gpt_layout(volume, (uw.ZLIB,), override=override))

    write("unknown-chunk.dmg", chunk_fault(3, lambda k, d: (0x80000009, b"\x42" * 100)))
    write("lzfse-chunk.dmg", chunk_fault(3, lambda k, d: (uw.LZFSE, b"bvx2" + b"\0" * 60)))
    write("short-chunk.dmg", chunk_fault(3, lambda k, d: (uw.ZLIB, uw.encode(uw.ZLIB, d[:-512]))))
    write("long-chunk.dmg", chunk_fault(3, lambda k, d: (uw.ZLIB, uw.encode(uw.ZLIB, d + b"\1" * 512))))
    write("corrupt-zlib.dmg", chunk_fault(3, lambda k, d: (uw.ZLIB, (lambda z: z[:20] + bytes([z[20] ^ 0xFF]) + z[21:])(
        uw.encode(uw.ZLIB, bytes(range(256)) * 128)))))

    # LZFSE chunks, whole and damaged in a table, in a payload, cut short, claiming too much.
    dmg, lzfse_volume, streams = lzfse_dmg()
    write("lzfse.dmg", dmg)
    write("lzfse-volume.hfs", lzfse_volume)
    write("lzfse-streams.txt", "".join("%s %d %d %s\n" % (name, at, size, lzfse_manifest()[name]["decoded_sha256"])
                                       for name, at, size in streams).encode())
    write("lzfse-table.dmg", lzfse_dmg(lambda s: flip(s, 40))[0])
    write("lzfse-payload.dmg", lzfse_dmg(lambda s: flip(s, 2000))[0])
    write("lzfse-truncated.dmg", lzfse_dmg(lambda s: s[:-100])[0])
    write("lzfse-overclaim.dmg", lzfse_dmg(lambda s: s[:4] + struct.pack("<I", 4 << 20) + s[8:])[0])
    write("text-plain.lzfse", plain_tables(lzfse_vector("text.lzfse")))

    base = uw.build(apm_layout(volume, ALL_TYPES))
    write("BaseSystem.dmg", base)
    meta, _ = recovery_package(os.path.join(outdir, "RecoveryHDUpdate.pkg"), base)
    write("RecoveryHDMeta.dmg", meta)
    _, meta_volume = recovery_package(os.path.join(outdir, "RecoveryHDMetaDmg.pkg"), base, installer_product=True)
    write("RecoveryHDMeta.hfs", meta_volume)
    recovery_package(os.path.join(outdir, "no-chunklist.pkg"), base, with_chunklist=False)
    recovery_package(os.path.join(outdir, "no-meta.pkg"), base, with_meta=False)
    recovery_package(os.path.join(outdir, "chunklist-mismatch.pkg"), base, chunklist_damage=2)
    recovery_package(os.path.join(outdir, "decmpfs.pkg"), base, decmpfs=4)
    recovery_package(os.path.join(outdir, "decmpfs-lzfse.pkg"), base, decmpfs=12)
    write("compressed.hfs", compressed_volume())
    recovery_package(os.path.join(outdir, "catalog-loop.pkg"), base, catalog_loop=True)

    # BaseSystem.dmg's list signed by the key that chunklist-keys.txt trusts, and by another.
    listed = chunklist(base)
    with tempfile.TemporaryDirectory() as folder:
        trusted, other = TestKey(folder, "trusted"), TestKey(folder, "other")
        write("signed.chunklist", signed(listed, trusted))
        write("other-key.chunklist", signed(listed, other))
        write("chunklist-keys.txt", b"# the tests' own key\n\n" + trusted.modulus_hex().encode() + b"\n")
        os.makedirs(os.path.join(outdir, "server"), exist_ok=True)
        server_images(write, trusted, other)
    write("unsigned.chunklist", listed)


def fuzz_seeds(corpus):
    """A few small inputs per fuzz target, so that fuzzing starts past the magic numbers."""
    rnd = random.Random(7)

    def write(target, name, data):
        os.makedirs(os.path.join(corpus, target), exist_ok=True)
        with open(os.path.join(corpus, target, name), "wb") as f:
            f.write(data)

    mixed = rnd.randbytes(2048) + b"\0" * 2048 + b"text " * 819 + b"\1"
    mixed = mixed[:6144]
    for kind, name in ((uw.ZLIB, "zlib"), (uw.ADC, "adc"), (uw.BZIP2, "bzip2"), (uw.XZ, "lzma"), (uw.LZFSE, "lzfse")):
        parts = [uw.Partition("disk image (Apple_HFS : 0)", mixed, (kind, uw.RAW, uw.ZERO), 4),
                 uw.Partition(" (Apple_Free : 1)", b"\0" * 1024, (uw.IGNORE,))]
        write("udif_image", name + ".dmg", uw.build(parts, comments=kind == uw.ZLIB))

    volume = hw.Volume("Seed", node_size=512, block=512)
    volume.add_file("BaseSystem.dmg", rnd.randbytes(6000), fragments=10)
    volume.add_file("BaseSystem.chunklist", b"CNKL")
    volume.add_file("Folder/compressed", b"seed " * 300, decmpfs=3)
    volume.add_file("Folder/forked", bytes(range(256)) * 3 + b"\0" * 70000, decmpfs=4)
    write("hfsplus_volume", "small.hfs", volume.build(extra_blocks=2))

    # The decoded size (32 bits, little-endian) and the stream, as the LZFSE target reads them.
    sizes = {name: v["decoded_size"] for name, v in lzfse_manifest().items()}
    for name in ("one-byte.lzfse", "small-text.lzfse", "incompressible.lzfse", "records.lzfse"):
        write("lzfse_decode", name[:-6] + ".bin", struct.pack("<I", sizes[name]) + lzfse_vector(name))
    write("lzfse_decode", "incompressible-plain.bin", struct.pack("<I", sizes["incompressible.lzfse"]) +
          plain_tables(lzfse_vector("incompressible.lzfse")))

    image = rnd.randbytes(3000)
    for method, name in ((2, "digest"), (1, "signed")):
        table = chunklist(image, chunk=1024)
        if method == 1:  # the same table with a (fake) RSA signature in place of the digest
            table = table[:10] + b"\1" + table[11:-32] + bytes(256)
        write("chunklist", name + ".bin", struct.pack("<I", len(table)) + table + image)

    # Key file and list: signed by the key the file trusts, unsigned, and beside a refused key line.
    listed = chunklist(image, chunk=1024)
    with tempfile.TemporaryDirectory() as folder:
        key = TestKey(folder, "seed")
        keys = b"# the seed's key\n" + key.modulus_hex().encode() + b"\n"
        for name, key_file, data in (("signed", keys, signed(listed, key)), ("unsigned", b"", listed),
                                     ("refused-key-line", keys + b"0123\n", signed(listed, key))):
            write("chunklist_signature", name + ".bin", struct.pack("<H", len(key_file)) + key_file + data)


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "--fuzz-seeds":
        fuzz_seeds(sys.argv[2])
    elif len(sys.argv) == 2:
        main(sys.argv[1])
    else:
        sys.exit(__doc__)
