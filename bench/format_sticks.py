#!/usr/bin/env python3
"""Benchmark (not a test): velloran-image making Clover FAT32-LBA sticks of 16 GiB and 64 GiB
with a small data set, against mkfs.fat -F 32 alone on sparse files of the same sizes. Prints
the times, their ratio, and what each image takes on the host (it must stay sparse). The
16 GiB stick goes through the simulated system formatter (mkfs.fat in place), the 64 GiB one
through our own FAT32 formatter, as Windows refuses FAT32 above 32 GiB.

Usage: bench/format_sticks.py [--tool PATH] [--runs N]
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SETTINGS = ('[Data Settings]\nBoot_records=Clover\nFileSystem=FAT32-LBA\nStartLBASector=2048\n'
            'MultiPartitions=0\nInstallDataSet=Local\n')


def timed(cmd):
    start = time.monotonic()
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.monotonic() - start


def on_host(path):
    return os.stat(path).st_blocks * 512


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--tool', default=os.path.join(ROOT, 'build/native/src/image_tool/velloran-image'))
    ap.add_argument('--runs', type=int, default=3)
    args = ap.parse_args()
    if not os.access(args.tool, os.X_OK):
        sys.exit('no velloran-image at %s: build it with scripts/build.sh native' % args.tool)
    work = tempfile.mkdtemp(prefix='vu-bench-')
    try:
        settings = os.path.join(work, 'clover.ini')
        with open(settings, 'w') as f:
            f.write(SETTINGS)
        data_set = os.path.join(work, 'Clover-r5151.zip')
        with zipfile.ZipFile(data_set, 'w') as z:
            z.writestr('boot', b'\xF4' * 4096 + b'\nClover revision: 5151\n')
            z.writestr('EFI/CLOVER/config.plist', b'<plist/>\n')
        print('%-8s %14s %14s %8s %12s' % ('stick', 'velloran-image', 'mkfs.fat -F 32', 'ratio', 'image on host'))
        for gib in (16, 64):
            image, plain = os.path.join(work, 'stick.img'), os.path.join(work, 'plain.img')
            ours, peer = [], []
            for _ in range(args.runs):
                for path in (image, plain):
                    if os.path.exists(path):
                        os.remove(path)
                ours.append(timed([args.tool, image, '--size', str(gib << 10), '--settings', settings,
                                   '--data-set', data_set]))
                with open(plain, 'wb') as f:
                    f.truncate(gib << 30)
                peer.append(timed(['mkfs.fat', '-F', '32', plain]))
            best, best_peer = min(ours), min(peer)
            print('%-8s %13.3fs %13.3fs %8.1f %9.1f MiB' % ('%d GiB' % gib, best, best_peer, best / best_peer,
                                                             on_host(image) / 2**20))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    main()
