#!/usr/bin/env python3
"""Boot scenarios for our boot sectors. Each builds a disk image laid out as the
format pipeline lays out a drive (partition table, file system from the usual
formatter, our boot code merged over the formatter's boot sector, files copied in),
boots it in QEMU and checks the report of the test payload it finds.

Usage: boot_test.py --boot-dir DIR --source-dir DIR --work-dir DIR SCENARIO
       boot_test.py --list
  --boot-dir    the assembled images (<build>/boot)
  --source-dir  the repository root (for the payload and the CHS test builds)
"""
import argparse
import os
import shutil
import struct
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import qemu_boot                      # noqa: E402
from exfat_files import ExfatVolume, write_checksum_sectors   # noqa: E402
from fat32_files import Fat32Volume   # noqa: E402

SECTOR = 512
PART_SECTORS = 131072                 # 64 MiB volumes
BIG = 200 * 1024                      # payloads larger than 64 KiB

# File: (name on the volume, payload tag, size in bytes, fragmented)
def boot(tag='BOOT', name='BOOT', size=BIG, fragmented=False):
    return (name, tag, size, fragmented)


SCENARIOS = {
    # boot0 + boot1f32alt, FAT32 of both partition types at both usual starts
    'fat32-0c-2048': dict(fs='fat32', ptype=0x0C, start=2048, files=[boot()]),
    'fat32-0b-2048': dict(fs='fat32', ptype=0x0B, start=2048, files=[boot()]),
    'fat32-0c-63': dict(fs='fat32', ptype=0x0C, start=63, files=[boot()]),
    'fat32-0b-63': dict(fs='fat32', ptype=0x0B, start=63, files=[boot()]),
    'fat32-usb': dict(fs='fat32', ptype=0x0C, start=2048, bus='usb', files=[boot()]),
    'fat32-fragmented': dict(fs='fat32', ptype=0x0C, start=2048,
                             files=[boot(fragmented=True)]),
    'fat32-key': dict(fs='fat32', ptype=0x0C, start=2048, keys='1', expect='BOOT1',
                      files=[boot(size=4096), boot('BOOT1', 'BOOT1')]),
    'fat32-key-absent-file': dict(fs='fat32', ptype=0x0C, start=2048, keys='7',
                                  files=[boot(), boot('BOOT1', 'BOOT1', 4096)]),
    'fat32-key-not-accepted': dict(fs='fat32', ptype=0x0C, start=2048, keys='minus',
                                   files=[boot()]),
    'fat32-chs-mbr': dict(fs='fat32', ptype=0x0C, start=63, chs=True, files=[boot()]),
    'fat32-no-table': dict(fs='fat32', superfloppy=True, files=[boot()]),
    'fat32-too-large': dict(fs='fat32', ptype=0x0C, start=2048,
                            files=[boot(size=0xA0000 - 0x20200 + 512)], fails='error'),
    # boot0 + boot1xalt on exFAT
    'exfat-2048': dict(fs='exfat', ptype=0x07, start=2048, files=[boot()]),
    'exfat-63-offset-fragmented': dict(fs='exfat', ptype=0x07, start=63,
                                       partition_offset=True,
                                       files=[boot(fragmented=True)]),
    'exfat-usb-fragmented': dict(fs='exfat', ptype=0x07, start=2048, bus='usb',
                                 files=[boot(fragmented=True)]),
    'exfat-key': dict(fs='exfat', ptype=0x07, start=2048, keys='1', expect='BOOT1',
                      files=[boot(size=4096), boot('BOOT1', 'boot1')]),
    'exfat-key-letter': dict(fs='exfat', ptype=0x07, start=2048, keys='a', expect='BOOTA',
                             files=[boot(size=4096), boot('BOOTA', 'BootA')]),
    'exfat-chs': dict(fs='exfat', ptype=0x07, start=2048, chs=True, files=[boot()]),
    'exfat-too-large': dict(fs='exfat', ptype=0x07, start=2048,
                            files=[boot(size=0xA0000 - 0x20200 + 512)], fails='boot1x: error'),
    # USB-HDD+ + Fat32LBA(FreeDos)
    'freedos-2048': dict(fs='freedos', ptype=0x0C, start=2048,
                         files=[boot('KERNEL', 'KERNEL.SYS', 120 * 1024)]),
    'freedos-usb-63-fragmented': dict(fs='freedos', ptype=0x0C, start=63, bus='usb',
                                      files=[boot('KERNEL', 'KERNEL.SYS', 120 * 1024, True)]),
    'freedos-chs-mbr': dict(fs='freedos', ptype=0x0C, start=2048, chs=True,
                            files=[boot('KERNEL', 'KERNEL.SYS', 4096)]),
    'freedos-missing-kernel': dict(fs='freedos', ptype=0x0C, start=2048,
                                   files=[boot()], fails='No KERNEL  SYS'),
}

MBR_OF = {'fat32': 'boot0', 'exfat': 'boot0', 'freedos': 'usb_hdd_plus'}
PBR_OF = {'fat32': 'boot1f32alt', 'exfat': 'boot1xalt', 'freedos': 'fat32lba_freedos'}


def sh(*cmd, **kw):
    env = dict(os.environ, MTOOLS_SKIP_CHECK='1')
    return subprocess.run(cmd, check=True, capture_output=True, env=env, **kw)


class Builder:
    def __init__(self, args, name, sc):
        self.args, self.name, self.sc = args, name, sc
        self.work = os.path.join(args.work_dir, name)
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.work)

    def path(self, leaf):
        return os.path.join(self.work, leaf)

    def image(self, stem):
        """An assembled image; the CHS scenarios use test builds without the extension probe."""
        if self.sc.get('chs') and stem != 'boot1f32alt' and stem != 'fat32lba_freedos':
            src = os.path.join(self.args.source_dir, 'resources', 'boot', stem + '.asm')
            out = self.path(stem + '-chs.bin')
            sh('nasm', '-f', 'bin', '-DFORCE_CHS', '-I' + os.path.dirname(src) + '/', '-o', out, src)
        else:
            out = os.path.join(self.args.boot_dir, stem + '.bin')
        with open(out, 'rb') as f:
            return f.read()

    def payload(self, tag, size):
        src = os.path.join(self.args.source_dir, 'tests', 'boot', 'payload.asm')
        out = self.path('payload-%s-%d.bin' % (tag, size))
        opts = ['-DKERNEL'] if self.sc['fs'] == 'freedos' else []
        sh('nasm', '-f', 'bin', *opts, '-DTAG="%s"' % tag, '-DSIZE=%d' % size, '-o', out, src)
        return out

    def volume(self, hidden):
        part = self.path('part.img')
        with open(part, 'wb') as f:
            f.truncate(PART_SECTORS * SECTOR)
        if self.sc['fs'] == 'exfat':
            sh('mkfs.exfat', '-L', 'VUTEST', part)
            self._exfat(part, hidden)
        else:
            sh('mkfs.fat', '-F', '32', '-s', '1', '-S', '512', '-h', str(hidden), '-n', 'VUTEST', part)
            self._fat32(part)
        return part

    def _fat32(self, part):
        with open(part, 'r+b') as f:
            formatted = f.read(SECTOR)
            ours = bytearray(self.image(PBR_OF[self.sc['fs']]))
            ours[3:90] = formatted[3:90]          # keep the formatter's parameter block
            f.seek(0)
            f.write(ours)
        for name, tag, size, fragmented in self.sc['files']:
            sh('mcopy', '-i', part, self.payload(tag, size), '::' + name)
        fragments = [n for n, _, _, frag in self.sc['files'] if frag]
        if fragments:
            with open(part, 'r+b') as f:
                img = bytearray(f.read())
                vol = Fat32Volume(img)
                for name in fragments:
                    base, _, ext = name.partition('.')
                    chain = vol.scatter(base.ljust(8).encode() + ext.ljust(3).encode())
                    jumps = sum(1 for a, b in zip(chain, chain[1:]) if b != a + 1)
                    assert jumps > 100, 'the chain did not get fragmented'
                f.seek(0)
                f.write(img)
        sh('fsck.fat', '-n', part)

    def _exfat(self, part, hidden):
        with open(part, 'rb') as f:
            img = bytearray(f.read())
        vol = ExfatVolume(img)
        for name, tag, size, fragmented in self.sc['files']:
            with open(self.payload(tag, size), 'rb') as p:
                clusters = vol.add_file(name, p.read(), fragmented)
            if fragmented:
                assert sum(1 for a, b in zip(clusters, clusters[1:]) if b != a + 1) > 10
        ours = bytearray(self.image('boot1xalt')[:2 * SECTOR])
        ours[0:120] = img[0:120]                  # the formatter's jump, name and fields
        if self.sc.get('partition_offset'):
            struct.pack_into('<Q', ours, 64, hidden)
        img[0:2 * SECTOR] = ours
        img[12 * SECTOR:14 * SECTOR] = ours       # the backup boot region
        write_checksum_sectors(img)
        with open(part, 'wb') as f:
            f.write(img)
        sh('fsck.exfat', '-n', part)

    def disk(self):
        if self.sc.get('superfloppy'):
            return self.volume(0)
        start = self.sc['start']
        part = self.volume(start)
        disk = self.path('disk.img')
        with open(disk, 'wb') as f:
            f.truncate((start + PART_SECTORS + 2048) * SECTOR)
        table = 'label: dos\nstart=%d, size=%d, type=%x, bootable\n' % (start, PART_SECTORS, self.sc['ptype'])
        sh('sfdisk', '--no-reread', '--no-tell-kernel', disk, input=table.encode())
        mbr = self.image(MBR_OF[self.sc['fs']])
        with open(disk, 'r+b') as f, open(part, 'rb') as p:
            f.write(mbr[:0x1B8])                  # code; the table and disk signature stay
            f.seek(start * SECTOR)
            shutil.copyfileobj(p, f)
        os.remove(part)
        return disk


def main():
    if sys.argv[1:] == ['--list']:
        print(';'.join(SCENARIOS))
        return 0
    ap = argparse.ArgumentParser()
    ap.add_argument('--boot-dir', required=True)
    ap.add_argument('--source-dir', required=True)
    ap.add_argument('--work-dir', required=True)
    ap.add_argument('scenario', choices=sorted(SCENARIOS))
    args = ap.parse_args()
    sc = SCENARIOS[args.scenario]
    builder = Builder(args, args.scenario, sc)
    disk = builder.disk()
    fails = sc.get('fails')
    status, serial = qemu_boot.run(disk, builder.work, bus=sc.get('bus', 'ide'),
                                   keys=sc.get('keys', ''), wait_for=fails)
    print(serial)
    if fails:
        ok = fails in serial and 'VU-PAYLOAD' not in serial
    else:
        tag = sc.get('expect', sc['files'][0][1])
        register = 'bl' if sc['fs'] == 'freedos' else 'dl'
        ok = (status == qemu_boot.PASS_STATUS
              and 'VU-PAYLOAD %s' % tag in serial and ' ok' in serial
              and '%s=80' % register in serial)
    print('%s: %s (QEMU status %s)' % (args.scenario, 'passed' if ok else 'FAILED', status))
    if ok:
        shutil.rmtree(builder.work, ignore_errors=True)
    return 0 if ok else 1


if __name__ == '__main__':
    sys.exit(main())
