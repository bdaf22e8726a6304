#!/usr/bin/env python3
"""Benchmark (not a test): a recovery image as Apple's recovery server serves it, made into an .hfs
image. A 1 GiB HFS+ volume of mixed content (with its SystemVersion.plist) packed as a zlib UDIF
image with a chunk list of 10 MiB chunks signed by a key made here, then, in the same run:

    velloran-image recovery-hd extract   the list's signature, every chunk's SHA-256, the partition
                                         written and named after its build (what "DL" does once the
                                         image is in)
    7zz e -tdmg                          the partition alone, nothing checked
    dmg2img -p 1                         the same

All three outputs are compared with the source volume; each tool's best and median wall time,
processor time and peak memory are printed, with the ratios against both peers.

velloran-image is built without sanitizers into build/bench; the image is made once and kept in
build/bench/data. Usage: bench/recovery_image.py [--runs N] [--mib 1024]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "apple"))
sys.path.insert(0, os.path.join(ROOT, "bench"))
import hfsplus_writer as hw  # noqa: E402
import udif_writer as uw  # noqa: E402
from chunklist_writer import TestKey, chunklist, signed  # noqa: E402
from hfs_extract import MiB, build_tool, mixed_content, same_file, timed  # noqa: E402

VERSION = (b'<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0">\n<dict>\n'
           b"\t<key>ProductBuildVersion</key>\n\t<string>23G80</string>\n"
           b"\t<key>ProductVersion</key>\n\t<string>14.6.1</string>\n</dict>\n</plist>\n")


def make_image(folder, mib):
    """BaseSystem-<mib>.dmg, its .chunklist, the volume as .hfs and the key file, made once."""
    stem = os.path.join(folder, "BaseSystem-%d" % mib)
    paths = [stem + ext for ext in (".dmg", ".chunklist", ".hfs", ".keys")]
    if all(os.path.exists(p) for p in paths):
        return paths
    os.makedirs(folder, exist_ok=True)
    data = mixed_content(mib - 2)
    volume = hw.Volume("macOS Base System")
    volume.add_file("System/Library/CoreServices/SystemVersion.plist", VERSION)
    for i in range(0, len(data), 16 * MiB):
        volume.add_file("System/Library/Pieces/piece%03d.bin" % (i // (16 * MiB)), data[i:i + 16 * MiB])
    del data
    hfs = volume.build()
    parts = [uw.Partition("Protective Master Boot Record (MBR : 0)", b"\1" * 512, (uw.RAW,)),
             uw.Partition("disk image (Apple_HFS : 1)", hfs, (uw.ZLIB,), 2048),
             uw.Partition(" (Apple_Free : 2)", b"\0" * 512 * 8, (uw.IGNORE,))]
    dmg = uw.build(parts)
    with tempfile.TemporaryDirectory() as keys:
        key = TestKey(keys, "bench")
        listed = signed(chunklist(dmg, chunk=10 * MiB), key)
        modulus = key.modulus_hex()
    for path, content in zip(paths, (dmg, listed, hfs, modulus.encode() + b"\n")):
        with open(path + ".part", "wb") as f:
            f.write(content)
    for path in paths:
        os.replace(path + ".part", path)
    return paths


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--mib", type=int, default=1024)
    args = parser.parse_args()
    tool = build_tool()
    dmg, listed, hfs, keys = make_image(os.path.join(ROOT, "build", "bench", "data"), args.mib)
    os.environ["VU_CHUNKLIST_KEYS"] = keys
    work = os.path.join(ROOT, "build", "bench", "data", "out")
    tools = {
        "velloran-image": (lambda out: [tool, "recovery-hd", "extract", dmg, listed, out], "RecoveryHD-23G80.hfs"),
        "7zz": (lambda out: ["7zz", "e", "-tdmg", dmg, "*.hfs", "-o" + out, "-y"], "1.hfs"),
        "dmg2img": (lambda out: ["dmg2img", "-s", "-p", "1", dmg, os.path.join(out, "d.img")], "d.img"),
    }
    results = {name: [] for name in tools}
    for _ in range(args.runs):
        for name, (command, output) in tools.items():
            out = os.path.join(work, name)
            shutil.rmtree(out, ignore_errors=True)
            os.makedirs(out)
            subprocess.run(["sync"])
            results[name].append(timed(command(out), out))
            if not same_file(os.path.join(out, output), hfs):
                sys.exit("%s: its output differs from the source volume" % name)
            shutil.rmtree(out)

    print("%s: %d MiB HFS+ volume, %d MiB zlib UDIF image, %d chunks in its signed list, %d runs, "
          "load average %.1f, %d cores" % (os.path.basename(dmg), os.path.getsize(hfs) // MiB,
                                             os.path.getsize(dmg) // MiB, -(-os.path.getsize(dmg) // (10 * MiB)),
                                             args.runs, os.getloadavg()[0], os.cpu_count()))
    print("all outputs identical to the source volume; only velloran-image checked the signature and chunks")
    print("%-16s %9s %9s %10s %9s" % ("tool", "best s", "median s", "cpu s", "peak MiB"))
    best = {}
    for name, runs in results.items():
        walls = [w for w, _, _ in runs]
        best[name] = min(walls)
        peaks = [m for _, m, _ in runs if m is not None]
        print("%-16s %9.2f %9.2f %10.2f %9s" % (name, best[name], statistics.median(walls),
                                               min(c for _, _, c in runs), "%.0f" % max(peaks) if peaks else "-"))
    ours = best["velloran-image"]
    for name in ("7zz", "dmg2img"):
        print("velloran-image (verification included) is %.2fx as fast as %s" % (best[name] / ours, name))
    print("against the faster peer: %.2fx (aim 2x)" % (min(best["7zz"], best["dmg2img"]) / ours))


if __name__ == "__main__":
    main()
