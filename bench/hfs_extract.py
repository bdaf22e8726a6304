#!/usr/bin/env python3
"""Benchmark (not a test): the HFS partition of a 512 MiB UDZO disk image of mixed content
(zeros, random bytes, text, structured binary) extracted by velloran-image extract-hfs, by
`7zz e -tdmg` and by `dmg2img -p`, in the same run. Checks that all three outputs are identical
to the source, then prints each tool's best and median wall time, peak memory, and the ratios.

velloran-image is built without sanitizers into build/bench; the image is made once and kept in
build/bench/data. Usage: bench/hfs_extract.py [--runs N] [--mib 512]
"""
import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "apple"))
import udif_writer as uw  # noqa: E402

MiB = 1 << 20


def build_tool():
    build = os.path.join(ROOT, "build", "bench")
    launcher = []
    if shutil.which("ccache"):
        launcher = ["-DCMAKE_C_COMPILER_LAUNCHER=ccache", "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"]
    subprocess.run(["cmake", "-S", ROOT, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release"] + launcher,
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build, "--target", "velloran-image"], check=True, stdout=subprocess.DEVNULL)
    return os.path.join(build, "src", "image_tool", "velloran-image")


def mixed_content(mib):
    rnd = random.Random(512)
    words = [bytes(rnd.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rnd.randint(2, 9))) for _ in range(4000)]
    text = bytearray()
    while len(text) < 8 * MiB:
        text += b" ".join(rnd.choice(words) for _ in range(2000)) + b"\n"
    blocks = []
    for i in range(mib):
        kind = i % 8
        if kind in (0, 5):
            blocks.append(b"\0" * MiB)
        elif kind == 1:
            blocks.append(rnd.randbytes(MiB))
        elif kind in (2, 6):
            at = rnd.randrange(0, 7 * MiB)
            blocks.append(bytes(text[at:at + MiB]))
        elif kind == 3:
            blocks.append(b"".join(i.to_bytes(4, "big") + b"\0\0\xff\xff" for i in range(MiB // 8)))
        else:
            at = rnd.randrange(0, 7 * MiB)
            block = bytearray(text[at:at + MiB])
            for j in range(0, MiB, 4096):
                block[j:j + 64] = rnd.randbytes(64)
            blocks.append(bytes(block))
    return b"".join(blocks)


def make_image(folder, mib):
    dmg, raw = os.path.join(folder, "mixed-%d.dmg" % mib), os.path.join(folder, "mixed-%d.raw" % mib)
    if os.path.exists(dmg) and os.path.exists(raw):
        return dmg, raw
    os.makedirs(folder, exist_ok=True)
    data = mixed_content(mib)
    parts = [uw.Partition("Protective Master Boot Record (MBR : 0)", b"\1" * 512, (uw.RAW,)),
             uw.Partition("disk image (Apple_HFS : 1)", data, (uw.ZLIB,), 2048),
             uw.Partition(" (Apple_Free : 2)", b"\0" * 512 * 8, (uw.IGNORE,))]
    with open(dmg + ".part", "wb") as f:
        f.write(uw.build(parts))
    with open(raw, "wb") as f:
        f.write(data)
    os.replace(dmg + ".part", dmg)
    return dmg, raw


def timed(command, cwd):
    """Wall time, processor time and peak memory (MiB, None without GNU time) of one run. The peak
    is measured by /usr/bin/time: a child forked from this process would count its pages too."""
    memory = os.path.join(cwd, ".peak")
    if os.path.exists("/usr/bin/time"):
        command = ["/usr/bin/time", "-f", "%M", "-o", memory] + command
    start = time.perf_counter()
    process = subprocess.Popen(command, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("%s exited with %d" % (" ".join(command), os.waitstatus_to_exitcode(status)))
    peak = None
    if os.path.exists(memory):
        with open(memory) as f:
            peak = int(f.read().split()[-1]) / 1024.0
        os.remove(memory)
    return wall, peak, usage.ru_utime + usage.ru_stime


def same_file(a, b):
    with open(a, "rb") as fa, open(b, "rb") as fb:
        while True:
            x, y = fa.read(MiB), fb.read(MiB)
            if x != y:
                return False
            if not x:
                return True


def print_table(results):
    """Prints each tool's best and median wall time, least processor time and highest peak memory
    from its runs of timed(); returns each tool's best wall time."""
    print("%-16s %9s %9s %10s %9s" % ("tool", "best s", "median s", "cpu s", "peak MiB"))
    best = {}
    for name, runs in results.items():
        walls = [w for w, _, _ in runs]
        best[name] = min(walls)
        peaks = [m for _, m, _ in runs if m is not None]
        print("%-16s %9.2f %9.2f %10.2f %9s" % (name, best[name], statistics.median(walls), min(c for _, _, c in runs),
                                               "%.0f" % max(peaks) if peaks else "-"))
    return best


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--mib", type=int, default=512)
    args = parser.parse_args()
    tool = build_tool()
    data = os.path.join(ROOT, "build", "bench", "data")
    dmg, raw = make_image(data, args.mib)
    work = os.path.join(data, "out")
    tools = {
        "velloran-image": (lambda out: [tool, "extract-hfs", dmg, out], "mixed-%d.hfs" % args.mib),
        "7zz": (lambda out: ["7zz", "e", "-tdmg", dmg, "*.hfs", "-o" + out, "-y"], "1.hfs"),
        "dmg2img": (lambda out: ["dmg2img", "-s", "-p", "1", dmg, os.path.join(out, "d.img")], "d.img"),
    }
    results = {name: [] for name in tools}
    for run in range(args.runs):
        for name, (command, output) in tools.items():
            out = os.path.join(work, name)
            shutil.rmtree(out, ignore_errors=True)
            os.makedirs(out)
            subprocess.run(["sync"])
            results[name].append(timed(command(out), out))
            if not same_file(os.path.join(out, output), raw):
                sys.exit("%s: its output differs from the source partition" % name)
            shutil.rmtree(out)

    print("%s: %d MiB partition, %d MiB UDZO image, %d runs, load average %.1f, %d cores" % (
        os.path.basename(dmg), args.mib, os.path.getsize(dmg) // MiB, args.runs, os.getloadavg()[0],
        os.cpu_count()))
    print("all outputs identical to the source partition")
    best = print_table(results)
    ours = best["velloran-image"]
    for name in ("7zz", "dmg2img"):
        print("velloran-image is %.2fx as fast as %s" % (best[name] / ours, name))
    faster = min(best["7zz"], best["dmg2img"])
    print("against the faster peer: %.2fx (target 1.5x)" % (faster / ours))


if __name__ == "__main__":
    main()
