#!/usr/bin/env python3
"""Boot scenarios for drives written by the program's own format pipeline. Each runs
velloran-image (the pipeline on the simulated PC, the image file as its USB stick) with a
settings file and a data set whose root "boot" file is the test payload, checks the
image with tools of its own (sfdisk, fsck, mtools, a small exFAT reader), boots it in
QEMU and checks the payload's report.

Usage: pipeline_boot_test.py --tool velloran-image --boot-dir DIR --source-dir DIR
                             --work-dir DIR SCENARIO
       pipeline_boot_test.py --list
  --boot-dir    the assembled boot sectors (<build>/boot), which the drive must carry
  --source-dir  the repository root (for the payload)
"""
import argparse
import os
import re
import shutil
import struct
import subprocess
import sys
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'net'))
import qemu_boot                          # noqa: E402
from exfat_files import boot_checksum     # noqa: E402
from exfat_reader import ExfatReader      # noqa: E402
from fault_server import FaultServer      # noqa: E402

SECTOR = 512
REVISION = 5151
CONFIG = b'<?xml version="1.0"?>\n<plist version="1.0"><dict/></plist>\n'


def clover(fs, start, mib, multi=False, ptype=0x06, climbing=False, sectors=None, cluster=None, gpt=False,
           source='Local'):
    return dict(records='Clover', fs=fs, start=start, mib=mib, multi=multi, ptype=ptype,
                volume='exfat' if fs == 'exFAT' else 'fat32', climbing=climbing,
                sectors=sectors if sectors else mib * 2048, cluster=cluster, gpt=gpt, source=source)


SCENARIOS = {
    'clover-fat32lba-63': clover('FAT32-LBA', 63, 40, ptype=0x0C),
    # The data set also holds "EFI/../boot" after the loader: skipped, it cannot replace it.
    'clover-fat32lba-2048': clover('FAT32-LBA', 2048, 40, ptype=0x0C, climbing=True),
    # 200 MiB boot partition, the rest of the stick a second partition left unformatted
    'clover-fat32lba-63-two-partitions': clover('FAT32-LBA', 63, 320, multi=True, ptype=0x0C),
    # The simulated formatter leaves the type the table was written with: the program
    # patches it for FAT32-LBA only.
    'clover-fat32-2048': clover('FAT32', 2048, 40),
    # Above 32 GiB the system formatter refuses FAT32 and the program writes it itself, with the
    # table's 32 KiB clusters; the sparse images stay sparse. 2 TiB less a sector is all an MBR holds.
    'clover-fat32lba-40g': clover('FAT32-LBA', 2048, 40 << 10, ptype=0x0C, cluster=32768),
    'clover-fat32lba-64g-63': clover('FAT32-LBA', 63, 64 << 10, ptype=0x0C, cluster=32768),
    'clover-fat32lba-2t': clover('FAT32-LBA', 2048, None, ptype=0x0C, sectors=(1 << 32) - 1, cluster=32768),
    # A stick as a Mac leaves it (GPT: a FAT32 EFI System partition, mounted, and an HFS+ one)
    'clover-fat32lba-2048-from-gpt': clover('FAT32-LBA', 2048, 300, ptype=0x0C, gpt=True),
    'clover-exfat-63': clover('exFAT', 63, 16),
    'clover-exfat-2048': clover('exFAT', 2048, 16),
    # The latest release from the download host (the fault server), through a dropped
    # connection, converted in process; the loader is the release's x64/boot6.
    'clover-dl-fat32lba-2048': clover('FAT32-LBA', 2048, 40, ptype=0x0C, source='DL'),
    # A release that is no archive: the stick stays formatted, with nothing on it.
    'clover-dl-corrupt': clover('FAT32-LBA', 2048, 40, ptype=0x0C, source='DL-corrupt'),
    # FreeDos always formats FAT32 and patches 0x0C, whatever file system the settings name
    'freedos-exfat-setting-63': dict(records='FreeDos', fs='exFAT', start=63, mib=40, multi=False,
                                     ptype=0x0C, volume='fat32', sectors=40 * 2048, cluster=None),
}

MBR_OF = {'Clover': 'boot0', 'FreeDos': 'usb_hdd_plus'}
PBR_OF = {('Clover', 'fat32'): 'boot1f32alt', ('Clover', 'exfat'): 'boot1xalt',
          ('FreeDos', 'fat32'): 'fat32lba_freedos'}
BOOT_PARTITION_MIB = 200
SPARSE_LIMIT = 64 << 20    # bytes a large image may take on the host after a run
LARGE = 1 << 30            # images above this are made sparse and must stay so
EFI_TYPE = 'C12A7328-F81F-11D2-BA4B-00A0C93EC93B'
HFS_TYPE = '48465300-0000-11AA-AA11-00306543ECAC'


class Failure(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)


def sh(*cmd, **kw):
    env = dict(os.environ, MTOOLS_SKIP_CHECK='1')
    return subprocess.run(cmd, check=True, capture_output=True, env=env, **kw)


class Scenario:
    def __init__(self, args, name):
        self.args, self.name, self.sc = args, name, SCENARIOS[name]
        self.work = os.path.join(args.work_dir, name)
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.work)
        self.image = self.path('stick.img')

    def path(self, leaf):
        return os.path.join(self.work, leaf)

    def boot_image(self, stem):
        with open(os.path.join(self.args.boot_dir, stem + '.bin'), 'rb') as f:
            return f.read()

    def payload(self, tag, size, kernel=False):
        out = self.path('payload-%s.bin' % tag)
        src = os.path.join(self.args.source_dir, 'tests', 'boot', 'payload.asm')
        opts = ['-DKERNEL'] if kernel else []
        sh('nasm', '-f', 'bin', *opts, '-DTAG="%s"' % tag, '-DSIZE=%d' % size, '-o', out, src)
        with open(out, 'rb') as f:
            return f.read()

    # --- the run -------------------------------------------------------------------------

    def mac_stick(self):
        """The GPT a Mac leaves on a stick, with a FAT32 EFI System partition."""
        with open(self.image, 'wb') as f:
            f.truncate(self.sc['mib'] << 20)
        table = ('label: gpt\nfirst-lba: 34\nstart=40, size=409600, type=%s\nstart=409640, type=%s\n'
                 % (EFI_TYPE, HFS_TYPE))
        sh('sfdisk', '-q', self.image, input=table.encode())
        sh('mkfs.fat', '-F', '32', '-n', 'EFI', '--offset=40', self.image, str(409600 // 2))

    def freedos_package(self):
        """The FreeDOS set this build does not carry: the payload stands in for the kernel."""
        folder = self.path('freedos')
        os.makedirs(folder)
        self.kernel = self.payload('KERNEL', 64 * 1024, kernel=True)
        with open(os.path.join(folder, 'KERNEL.SYS'), 'wb') as f:
            f.write(self.kernel)
        package = self.path('FreeDos.pkg')
        sh(sys.executable, os.path.join(self.args.source_dir, 'resources', 'packages', 'pack_package.py'),
           folder, package)
        return package

    def run_tool(self):
        sc = self.sc
        if sc.get('gpt'):
            self.mac_stick()
        settings = self.path('settings.ini')
        with open(settings, 'w') as f:
            f.write('[Data Settings]\nInstallDataSet=%s\nBoot_records=%s\nFileSystem=%s\n'
                    'StartLBASector=%d\nMultiPartitions=%d\nBootPartitionSize=%d\n'
                    % ('DL' if self.downloads() else 'Local', sc['records'], sc['fs'], sc['start'],
                       sc['multi'], BOOT_PARTITION_MIB))
        if sc['mib']:
            cmd = [self.args.tool, self.image, '--size', str(sc['mib']), '--settings', settings]
        else:
            # No whole MiB: the tool keeps the size of the image it is given.
            with open(self.image, 'wb') as f:
                f.truncate(sc['sectors'] * SECTOR)
            cmd = [self.args.tool, self.image, '--settings', settings]
        if self.downloads():
            return self.run_tool_downloading(cmd)
        if sc['records'] == 'Clover':
            # The loader's file carries the revision text after the code the payload checks.
            self.boot = self.payload('BOOT', 128 * 1024) + b'\nClover revision: %d\n' % REVISION
            data_set = self.path('Clover-r%d.zip' % REVISION)
            with zipfile.ZipFile(data_set, 'w', zipfile.ZIP_DEFLATED) as z:
                z.writestr('boot', self.boot)
                z.writestr('EFI/CLOVER/config.plist', CONFIG)
                if sc['climbing']:
                    z.writestr('EFI/../boot', b'\xF4' * 4096)
            cmd += ['--data-set', data_set]
        else:
            cmd += ['--freedos', self.freedos_package()]
        run = subprocess.run(cmd, capture_output=True, text=True, timeout=60)
        print(run.stdout + run.stderr)
        lines = run.stdout.splitlines()
        check(run.returncode == 0, 'velloran-image exited with %d' % run.returncode)
        check('All done' in lines, 'no "All done" in the output')
        installed = {'Clover': 'Clover Data set files Installed',
                     'FreeDos': 'FreeDos Data set files Installed'}[sc['records']]
        check(installed in lines, 'no "%s" in the output' % installed)

    # --- the downloaded data set ----------------------------------------------------------

    def downloads(self):
        return self.sc.get('source', 'Local').startswith('DL')

    def release_files(self):
        """The files of the release's ISO image: the bootloader's tree in small."""
        self.boot = self.payload('BOOT', 128 * 1024) + b'\nClover revision: %d\n' % REVISION
        return {
            'EFI/CLOVER/config.plist': CONFIG,
            'EFI/CLOVER/drivers-Off/drivers64UEFI/OsxAptioFixDrv-64.efi': b'aptio' * 100,
            'EFI/CLOVER/drivers64UEFI/FSInject-64.efi': b'inject' * 100,
            'EFI/CLOVER/kexts/10.13/FakeSMC.kext/Contents/Info.plist': b'<plist/>',
            'usr/standalone/i386/boot1f32alt': b'\xEB' * 512,
            'usr/standalone/i386/ia32/boot3': b'ia32 loader',
            'usr/standalone/i386/x64/boot6': self.boot,
            'usr/standalone/i386/x64/boot7': b'x64 loader 7',
        }

    def make_release(self, files):
        """CloverISO-<rev>.tar.lzma as the download host publishes it: an ISO made by xorriso,
        tarred, compressed with xz --format=lzma."""
        tree = self.path('iso-tree')
        for name, data in files.items():
            os.makedirs(os.path.dirname(os.path.join(tree, name)), exist_ok=True)
            with open(os.path.join(tree, name), 'wb') as f:
                f.write(data)
        iso = 'CloverISO-%d.iso' % REVISION
        sh('xorriso', '-as', 'mkisofs', '-R', '-J', '-V', 'CLOVER', '-o', self.path(iso), tree)
        tar = self.path('CloverISO-%d.tar' % REVISION)
        sh('tar', '-cf', tar, '-C', self.work, iso)
        sh('xz', '--format=lzma', '-f', tar)
        return os.path.basename(tar) + '.lzma'

    def run_tool_downloading(self, cmd):
        page = '/projects/cloverefiboot/files/Bootable_ISO/'
        self.release_files_cache = self.release_files()
        release = self.make_release(self.release_files_cache)
        if self.sc['source'] == 'DL-corrupt':
            with open(self.path(release), 'wb') as f:
                f.write(b'\x5d\x00\x00\x80\x00' + b'not an LZMA stream' * 1000)
        rules = [
            {'path': page, 'body': '<a href="%s%s/download">%s</a> CloverISO-999.tar.lzma'
                                   % (page, release, release)},
            # The host sends the archive to a mirror, which drops the first connection halfway.
            {'path': page + release + '/download', 'redirect': '/mirror/' + release},
            {'path': '/mirror/' + release, 'file': release, 'drop_at': 0.5, 'times': 1},
            {'path': '/mirror/' + release, 'file': release},
        ]
        with FaultServer(self.work, rules) as server:
            env = dict(os.environ, VU_CLOVER_HOST=server.origin())
            run = subprocess.run(cmd, capture_output=True, text=True, timeout=60, env=env)
            mirror = [e for e in server.log() if e['path'].startswith('/mirror/')]
        print(run.stdout + run.stderr)
        lines = run.stdout.splitlines()
        # A stick without the data set it was asked for is a failed run, whatever its last words.
        expected = 1 if self.sc['source'] == 'DL-corrupt' else 0
        check(run.returncode == expected, 'velloran-image exited with %d' % run.returncode)
        check(('All done' in lines) == (expected == 0), 'the output says "All done" only for a complete stick')
        check('Found Latest Clover r%d' % REVISION in lines, 'the revision check found no release')
        check([e['range'] for e in mirror] == [None, 'bytes=%d-%d' % (
            os.path.getsize(self.path(release)) // 2, os.path.getsize(self.path(release)) - 1)],
            'the mirror saw %s' % mirror)
        check('50% ERROR, Attempt to resume downloading, #1 ...' in lines, 'no resume in the output')
        if self.sc['source'] == 'DL-corrupt':
            check('[Error!] Error During Extract Latest Clover Data Set.' in lines, 'no extraction error box')
            check('Clover Data set files Not Installed' in lines, 'no "Not Installed" in the output')
        else:
            check('Clover Data set files Installed' in lines, 'no "Installed" in the output')

    def expected_dl_tree(self):
        """The stick's tree as the release's unpack script lays it out, worked out here on its own:
        the fixed empty folders, the image's files, the copies, and the volume markers."""
        if self.sc['source'] == 'DL-corrupt':
            return {}
        oem = 'EFI/CLOVER/OEM/SystemProductName/'
        folders = ['EFI/CLOVER/ACPI/origin', 'EFI/CLOVER/ACPI/patched', 'EFI/CLOVER/ACPI/WINDOWS',
                   'EFI/CLOVER/drivers32UEFI', 'EFI/CLOVER/kexts', 'EFI/CLOVER/misc', 'EFI/CLOVER/ROM',
                   oem + 'ACPI/origin', oem + 'ACPI/patched', oem + 'ROM', oem + 'kexts',
                   oem + 'UEFI/ACPI/origin', oem + 'UEFI/ACPI/patched', oem + 'UEFI/kexts/Other']
        files = dict(self.release_files_cache)
        files[oem + 'config.plist'] = files[oem + 'UEFI/config.plist'] = files['EFI/CLOVER/config.plist']
        files['EFI/CLOVER/drivers64UEFI/OsxAptioFixDrv-64.efi'] = \
            files['EFI/CLOVER/drivers-Off/drivers64UEFI/OsxAptioFixDrv-64.efi']
        for folder in ('usr/standalone/i386/ia32/', 'usr/standalone/i386/x64/'):
            for name in [n for n in files if n.startswith(folder) and '/' not in n[len(folder):]]:
                if name[len(folder):].startswith('boot'):
                    files[name[len(folder):]] = files[name]
        files['boot'] = files['usr/standalone/i386/x64/boot6']
        tree = {name: False for name in files}
        for path in folders + list(files):
            parts = path.split('/')
            for depth in range(1, len(parts) + (0 if path in files else 1)):
                tree['/'.join(parts[:depth]) + '/'] = False
        tree.update({'.metadata_never_index': True, '.fseventsd/': True, '.fseventsd/no_log': True})
        self.dl_contents = files
        return tree

    # --- the disk --------------------------------------------------------------------------

    def partitions(self):
        """sfdisk's view of the table: [(start, size, type, bootable)]."""
        dump = sh('sfdisk', '--dump', self.image).stdout.decode()
        rows = []
        for line in dump.splitlines():
            m = re.match(r'\S+ : start=\s*(\d+), size=\s*(\d+), type=([0-9a-f]+)(, bootable)?$', line)
            if m:
                rows.append((int(m[1]), int(m[2]), int(m[3], 16), bool(m[4])))
        return rows

    def check_disk(self):
        sc = self.sc
        total = sc['sectors']
        start = sc['start']
        rows = self.partitions()
        if sc['multi']:
            first = BOOT_PARTITION_MIB * 2048
            second = start + first
            check(rows == [(start, first, sc['ptype'], True), (second, total - second, 0x06, False)],
                  'partition table %s' % rows)
        else:
            check(rows == [(start, total - start, sc['ptype'], True)], 'partition table %s' % rows)
        self.start, self.length = rows[0][0], rows[0][1]

        with open(self.image, 'rb') as f:
            mbr = f.read(SECTOR)
            if sc['multi']:
                f.seek(second * SECTOR)
                check(f.read(32 * SECTOR) == bytes(32 * SECTOR),
                      'partition 2 does not start with zeroed sectors (formatted or left over)')
        code = self.boot_image(MBR_OF[sc['records']])
        check(mbr[:0x1B8] == code[:0x1B8], 'the MBR code is not %s' % MBR_OF[sc['records']])
        check(mbr[510:] == b'\x55\xAA', 'no MBR signature')
        with open(self.image, 'rb') as f:
            for sector in (1, total - 1):
                f.seek(sector * SECTOR)
                check(f.read(8) != b'EFI PART', 'a GPT header is left at sector %d' % sector)

    def volume(self, sectors=None):
        """The partition's bytes, or its first `sectors`."""
        with open(self.image, 'rb') as f:
            f.seek(self.start * SECTOR)
            return f.read((sectors or self.length) * SECTOR)

    def check_sparse(self):
        size = os.stat(self.image).st_size
        used = os.stat(self.image).st_blocks * 512
        check(size <= LARGE or used <= SPARSE_LIMIT,
              'the image takes %d MiB on the host: no longer sparse' % (used >> 20))

    # --- the volume ------------------------------------------------------------------------

    def fsck(self, tool):
        """The file-system checker's verdict on the partition in place, through a loop device."""
        device = sh('losetup', '-f', '--show', '-o', str(self.start * SECTOR),
                    '--sizelimit', str(self.length * SECTOR), self.image).stdout.decode().strip()
        try:
            result = subprocess.run([tool, '-n', device], capture_output=True, text=True)
        finally:
            sh('losetup', '-d', device)
        check(result.returncode == 0, '%s: %s' % (tool, result.stdout + result.stderr))

    def check_fat32(self, expected):
        vol = self.volume(sectors=1)
        self.fsck('fsck.fat')
        if self.sc['cluster']:
            info = sh('minfo', '-i', self.mtools_target(), '::').stdout.decode()
            m = re.search(r'cluster size: (\d+) sectors', info)
            check(m and int(m[1]) * SECTOR == self.sc['cluster'], 'cluster size: %s' % (m and m[0]))

        code = self.boot_image(PBR_OF[(self.sc['records'], 'fat32')])
        check(vol[:3] == code[:3] and vol[90:SECTOR] == code[90:SECTOR],
              'the partition boot code is not ours')
        check(vol[0x52:0x5A] == b'FAT32   ', 'the formatter\'s FAT32 fields were not kept')
        check(struct.unpack_from('<I', vol, 0x1C)[0] == self.start,
              'hidden sectors are not the partition start')
        check(self.fat_tree() == expected, 'files on the volume: %s' % self.fat_tree())
        for name, data in self.contents().items():
            copied = sh('mcopy', '-n', '-i', self.mtools_target(), '::/' + name, '-').stdout
            check(copied == data, '%s on the volume differs from the data set' % name)

    def mtools_target(self):
        return '%s@@%d' % (self.image, self.start * SECTOR)

    def fat_tree(self):
        """{path: hidden}; folders end with '/'."""
        target = self.mtools_target()
        mdir = subprocess.run(['mdir', '-/', '-b', '-a', '-i', target, '::'], capture_output=True, text=True,
                              env=dict(os.environ, MTOOLS_SKIP_CHECK='1'))
        if mdir.returncode != 0 and 'not found' in mdir.stderr:
            return {}                      # mdir's answer for an empty root folder
        check(mdir.returncode == 0, 'mdir: %s' % mdir.stderr)
        listing = mdir.stdout.split()
        hidden = set()
        for line in sh('mattrib', '-/', '-i', target, '::/*').stdout.decode().splitlines():
            flags, _, path = line.partition('::/')
            if 'H' in flags:
                hidden.add(path)
        tree = {}
        for entry in listing:
            path = entry[len('::/'):]
            tree[path] = path.rstrip('/') in hidden
        return tree

    def check_exfat(self, expected):
        vol = self.volume()
        self.fsck('fsck.exfat')

        code = self.boot_image('boot1xalt')
        check(vol[3:11] == b'EXFAT   ', 'not an exFAT volume')
        check(vol[120:2 * SECTOR] == code[120:2 * SECTOR], 'the partition boot code is not ours')
        # Volume flags and percent in use (bytes 106, 107, 112) change in the main region only.
        main, backup = bytearray(vol[:12 * SECTOR]), bytearray(vol[12 * SECTOR:24 * SECTOR])
        for region in (main, backup):
            region[106], region[107], region[112] = 0, 0, 0
        check(main == backup, 'the backup boot region differs from the main one')
        check(vol[11 * SECTOR:12 * SECTOR] == struct.pack('<I', boot_checksum(vol)) * (SECTOR // 4),
              'the boot region checksum sector is wrong')
        reader = ExfatReader(vol)
        tree = {path: hidden for path, (hidden, _) in reader.tree().items()}
        check(tree == expected, 'files on the volume: %s' % tree)
        for name, data in self.contents().items():
            check(reader.tree()[name][1]() == data, '%s on the volume differs from the data set' % name)

    def expected_tree(self):
        if self.downloads():
            return self.expected_dl_tree()
        if self.sc['records'] != 'Clover':
            return {'KERNEL.SYS': False}
        return {'boot': False, 'EFI/': False, 'EFI/CLOVER/': False, 'EFI/CLOVER/config.plist': False,
                '.metadata_never_index': True, '.fseventsd/': True, '.fseventsd/no_log': True}

    def contents(self):
        if self.downloads():
            return getattr(self, 'dl_contents', {})
        if self.sc['records'] != 'Clover':
            return {'KERNEL.SYS': self.kernel}
        return {'boot': self.boot, 'EFI/CLOVER/config.plist': CONFIG}

    # --- the boot --------------------------------------------------------------------------

    def boot_check(self):
        kernel = self.sc['records'] == 'FreeDos'
        status, serial = qemu_boot.run(self.image, self.work)
        print(serial)
        tag, register = ('KERNEL', 'bl') if kernel else ('BOOT', 'dl')
        check(status == qemu_boot.PASS_STATUS, 'QEMU status %s, not the payload\'s success' % status)
        check(re.search(r'VU-PAYLOAD %s .*%s=80.* ok' % (tag, register), serial),
              'no success report of %s with %s=80' % (tag, register))

    def run(self):
        self.run_tool()
        self.check_sparse()
        self.check_disk()
        expected = self.expected_tree()
        if self.sc['volume'] == 'exfat':
            self.check_exfat(expected)
        else:
            self.check_fat32(expected)
        if self.sc.get('source') != 'DL-corrupt':
            self.boot_check()


def main():
    if sys.argv[1:] == ['--list']:
        print(';'.join(SCENARIOS))
        return 0
    ap = argparse.ArgumentParser()
    ap.add_argument('--tool', required=True)
    ap.add_argument('--boot-dir', required=True)
    ap.add_argument('--source-dir', required=True)
    ap.add_argument('--work-dir', required=True)
    ap.add_argument('scenario', choices=sorted(SCENARIOS))
    args = ap.parse_args()
    scenario = Scenario(args, args.scenario)
    try:
        scenario.run()
    except (Failure, subprocess.CalledProcessError) as e:
        detail = e.stderr.decode(errors='replace') if isinstance(e, subprocess.CalledProcessError) else ''
        print('%s: FAILED: %s %s' % (args.scenario, e, detail))
        return 1
    print('%s: passed' % args.scenario)
    shutil.rmtree(scenario.work, ignore_errors=True)
    return 0


if __name__ == '__main__':
    sys.exit(main())
