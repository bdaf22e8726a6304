#!/usr/bin/env python3
"""Benchmark (not a test): the HFS partition of a "ULFO" disk image, a 160 MiB HFS+ volume whose
chunks are all LZFSE, extracted by velloran-image extract-hfs and by `7zz e -tdmg` in the same
run. Checks that both outputs are identical (and are the volume), then prints each tool's best and
median wall time, processor time, peak memory and the ratio.

Debian has no LZFSE encoder, so the image is made by our own fixture writer from two kinds of
LZFSE streams: 112 files of the volume are 1 MiB each and each is one chunk of 2048 sectors that
is a stream of the reference encoder (tests/fixtures/lzfse: mixed-1mib.lzfse, seven "bvx2"
blocks of entropy-coded LZ as Apple's tools write them, and a few zeros.lzfse); the rest, the
volume's text and binary files and its catalog, is LZVN blocks written by tests/apple/udif_writer.py
in chunks of 2048 sectors, or raw chunks where those do not compress. The reference streams'
decoded bytes are known by their digests only: the partition carries no checksum, and each such
file is checked against its digest instead.

velloran-image is built without sanitizers into build/bench; the image is made once (about a
minute of Python) and kept in build/bench/data. Usage: bench/lzfse_extract.py [--runs N]
"""
import argparse
import hashlib
import os
import random
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.join(ROOT, "tests", "apple"))
import hfs_extract  # noqa: E402
import hfsplus_writer as hw  # noqa: E402
import make_fixtures as mf  # noqa: E402
import udif_writer as uw  # noqa: E402

MiB = 1 << 20
STREAMS = ["mixed-1mib.lzfse"] * 104 + ["zeros.lzfse"] * 8


def make_image(folder):
    dmg, volume_file = os.path.join(folder, "ulfo-160.dmg"), os.path.join(folder, "ulfo-160.hfs")
    if os.path.exists(dmg) and os.path.exists(volume_file):
        return dmg, volume_file
    os.makedirs(folder, exist_ok=True)
    rnd = random.Random(160)
    words = [bytes(rnd.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rnd.randint(2, 9))) for _ in range(4000)]
    volume = hw.Volume("ULFO Bench", node_size=4096)
    placeholders = []
    for i, name in enumerate(STREAMS):
        placeholders.append(("%s %d" % (name, i)).encode().ljust(64, b"#") * (1 << 14))
        volume.add_file("streams/%03d.bin" % i, placeholders[-1])
    for i in range(20):
        text = b" ".join(rnd.choice(words) for _ in range(200000))[:MiB]
        volume.add_file("text/%02d.txt" % i, text)
        volume.add_file("records/%02d.bin" % i, b"".join(n.to_bytes(4, "big") + b"\0\0\xff\xff"
                                                          for n in range(i * MiB // 16, (i + 1) * MiB // 16)))
    for i in range(6):
        volume.add_file("random/%d.bin" % i, rnd.randbytes(MiB // 2))
    image = bytearray(volume.build(extra_blocks=2353))
    starts, offsets = mf.stream_chunks(image, placeholders, grid=2048)
    streams = {starts.index(at // 512): mf.lzfse_vector(name) for name, at in zip(STREAMS, offsets)}
    parts = [uw.Partition("Protective Master Boot Record (MBR : 0)", b"\1" * 512, (uw.RAW,)),
             uw.Partition("disk image (Apple_HFS : 1)", bytes(image), (uw.LZFSE,), starts,
                          lambda i, kind, data: (uw.LZFSE, streams[i]) if i in streams else None, crc=False),
             uw.Partition(" (Apple_Free : 2)", b"\0" * 512 * 8, (uw.IGNORE,))]
    with open(dmg + ".part", "wb") as f:
        f.write(uw.build(parts))
    with open(volume_file + ".offsets", "w") as f:
        f.write("".join("%d %s\n" % (at, name) for name, at in zip(STREAMS, offsets)))
    with open(volume_file, "wb") as f:
        f.write(image)
    os.replace(dmg + ".part", dmg)
    return dmg, volume_file


def is_volume(output, volume_file):
    """The output is the volume once every reference stream's file has its digest."""
    digests = {name: v["decoded_sha256"] for name, v in mf.lzfse_manifest().items()}
    with open(output, "rb") as f:
        data = bytearray(f.read())
    for line in open(volume_file + ".offsets"):
        at, name = int(line.split()[0]), line.split()[1]
        if hashlib.sha256(data[at:at + MiB]).hexdigest() != digests[name]:
            return False
        data[at:at + MiB] = bytes(MiB)
    with open(volume_file, "rb") as f:
        return data == f.read()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    tool = hfs_extract.build_tool()
    data = os.path.join(ROOT, "build", "bench", "data")
    dmg, volume_file = make_image(data)
    work = os.path.join(data, "out-ulfo")
    tools = {
        "velloran-image": (lambda out: [tool, "extract-hfs", dmg, out], "ulfo-160.hfs"),
        "7zz": (lambda out: ["7zz", "e", "-tdmg", dmg, "*.hfs", "-o" + out, "-y"], "1.hfs"),
    }
    results = {name: [] for name in tools}
    for run in range(args.runs):
        outputs = []
        for name, (command, output) in tools.items():
            out = os.path.join(work, name)
            shutil.rmtree(out, ignore_errors=True)
            os.makedirs(out)
            subprocess.run(["sync"])
            results[name].append(hfs_extract.timed(command(out), out))
            outputs.append(os.path.join(out, output))
        if not hfs_extract.same_file(*outputs):
            sys.exit("velloran-image's output differs from 7zz's")
        if run == 0 and not is_volume(outputs[0], volume_file):
            sys.exit("the output is not the volume")
        shutil.rmtree(work)

    print("%s: %d MiB HFS+ volume, %d MiB ULFO image, %d runs, load average %.1f, %d cores" % (
        os.path.basename(dmg), os.path.getsize(volume_file) // MiB, os.path.getsize(dmg) // MiB, args.runs,
        os.getloadavg()[0], os.cpu_count()))
    print("both outputs identical, and the volume")
    best = hfs_extract.print_table(results)
    print("velloran-image is %.2fx as fast as 7zz (target 1.5x)" % (best["7zz"] / best["velloran-image"]))


if __name__ == "__main__":
    main()
