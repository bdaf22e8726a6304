"""velloran-image's HFS extractions against the fixtures of make_fixtures.py: the DMG path's
images are byte-identical with the source volume and with what 7-Zip and dmg2img extract from the
same image; every damaged input ends with an error that names the fault and leaves no .hfs, while
a stale master or data fork checksum is only reported; the package chain yields the recovery
volume under the build's name, never over an earlier image, from packages recognised by their
content and with BaseSystem.dmg stored compressed.

Usage: extract_test.py --tool VELLORAN-IMAGE --fixtures DIR --work DIR
"""
import argparse
import filecmp
import glob
import hashlib
import os
import shutil
import subprocess
import sys

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL: " + what)


def run(command):
    result = subprocess.run(command, capture_output=True, text=True)
    return result.returncode, result.stdout + result.stderr


def fresh(folder):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    return folder


def images(folder):
    return sorted(os.path.basename(p) for p in glob.glob(os.path.join(folder, "*.hfs")))


# DMG files whose extraction must fail, with the words the error must contain.
BAD_DMGS = [
    ("notes.dmg", 'Can\'t open "notes.dmg"\n  as DMG archive.'),
    ("truncated.dmg", 'Can\'t open "truncated.dmg"\n  as DMG archive.'),
    ("bad-koly-version.dmg", "version 3"),
    ("mish-count.dmg", "chunks but holds"),
    ("bad-partition-crc.dmg", "checksum of partition 4 does not match"),
    ("unknown-chunk.dmg", "chunk 3 has the unknown type 0x80000009"),
    ("lzfse-chunk.dmg", "LZFSE chunk 3: LZFSE block 1: its header size 0 does not fit the data"),
    ("lzfse-table.dmg", "LZFSE chunk 2: LZFSE block 1: its frequency table for match lengths does not sum"),
    ("lzfse-payload.dmg", "LZFSE chunk 2: LZFSE block 1: its literal stream is damaged"),
    ("lzfse-truncated.dmg", "LZFSE chunk 2: LZFSE block 7: the data ends inside it"),
    ("lzfse-overclaim.dmg", "LZFSE chunk 2: LZFSE block 1: it claims 4194304 bytes, more than the 1048576 left"),
    ("short-chunk.dmg", "zlib chunk 3: decodes to fewer bytes than its 64 sectors"),
    ("long-chunk.dmg", "zlib chunk 3: decodes to more bytes than its 64 sectors"),
    ("corrupt-zlib.dmg", "zlib chunk 3: zlib data is damaged"),
]

# Packages whose chain must fail, with the words the error must contain.
BAD_PACKAGES = [
    ("no-meta.pkg", "no-meta.pkg holds no RecoveryHDMeta.dmg"),
    ("chunklist-mismatch.pkg", "BaseSystem.dmg does not match BaseSystem.chunklist: its chunk 2 differs"),
    ("decmpfs-lzfse.pkg", "BaseSystem.dmg is stored LZFSE-compressed, which this reader cannot expand"),
    ("catalog-loop.pkg", "the catalog B-tree's leaf chain loops"),
    ("notes.dmg", "neither an installer package nor a disk image"),
]


# Images whose master or data fork checksum is stale, with the status text that must say so.
STALE_DMGS = [
    ("bad-master-crc.dmg", "bad-master-crc.dmg: stale master checksum ignored, the partition's checksum matches"),
    ("bad-data-crc.dmg", "bad-data-crc.dmg: stale data fork checksum ignored, the partition's checksum matches"),
]


def dmg_path(tool, fixtures, work):
    volume = os.path.join(fixtures, "volume.hfs")
    # An installer package that is a disk image as well is read as one, by its content.
    for name, source in (("all-types.dmg", volume), ("dmg2img-types.dmg", volume),
                         ("RecoveryHDMetaDmg.pkg", os.path.join(fixtures, "RecoveryHDMeta.hfs"))):
        out = fresh(os.path.join(work, name))
        code, text = run([tool, "extract-hfs", os.path.join(fixtures, name), out])
        ours = os.path.join(out, name[:-4] + ".hfs")
        check(code == 0 and text.rstrip().endswith(ours), "%s: exit %d, output %s" % (name, code, text))
        check(os.path.exists(ours) and filecmp.cmp(ours, source, shallow=False), name + ": not the source volume")
        seven = fresh(os.path.join(work, name + ".7zz"))
        subprocess.run(["7zz", "e", "-tdmg", os.path.join(fixtures, name), "*.hfs", "-o" + seven],
                       check=True, stdout=subprocess.DEVNULL)
        check(filecmp.cmp(ours, os.path.join(seven, "4.hfs"), shallow=False), name + ": differs from 7-Zip's")
    for name, words in STALE_DMGS:
        out = fresh(os.path.join(work, name))
        code, text = run([tool, "extract-hfs", os.path.join(fixtures, name), out])
        ours = os.path.join(out, name[:-4] + ".hfs")
        check(code == 0 and words in text, "%s: exit %d, expected %r in:\n%s" % (name, code, words, text))
        check(os.path.exists(ours) and filecmp.cmp(ours, volume, shallow=False), name + ": not the source volume")
    # dmg2img decodes no XZ chunks: it reads the image without them.
    d2i = os.path.join(work, "dmg2img.img")
    subprocess.run(["dmg2img", "-s", "-p", "4", os.path.join(fixtures, "dmg2img-types.dmg"), d2i], check=True,
                   stdout=subprocess.DEVNULL)
    check(filecmp.cmp(d2i, volume, shallow=False), "dmg2img-types.dmg: dmg2img's image differs from ours")

    # LZFSE chunks: 7-Zip's image, and the volume once every reference stream's digest matches.
    out, seven = fresh(os.path.join(work, "lzfse")), fresh(os.path.join(work, "lzfse.7zz"))
    code, text = run([tool, "extract-hfs", os.path.join(fixtures, "lzfse.dmg"), out])
    subprocess.run(["7zz", "e", "-tdmg", os.path.join(fixtures, "lzfse.dmg"), "*.hfs", "-o" + seven], check=True,
                   stdout=subprocess.DEVNULL)
    ours = os.path.join(out, "lzfse.hfs")
    check(code == 0 and filecmp.cmp(ours, os.path.join(seven, "4.hfs"), shallow=False), "lzfse.dmg: " + text)
    data = bytearray(open(ours, "rb").read() if code == 0 else b"")
    for line in open(os.path.join(fixtures, "lzfse-streams.txt")):
        name, at, size, digest = line.split()
        at, size = int(at), int(size)
        check(hashlib.sha256(data[at:at + size]).hexdigest() == digest, "lzfse.dmg: " + name)
        data[at:at + size] = bytes(size)
    check(data == open(os.path.join(fixtures, "lzfse-volume.hfs"), "rb").read(), "lzfse.dmg: not the volume")

    out = fresh(os.path.join(work, "two"))
    code, _ = run([tool, "extract-hfs", os.path.join(fixtures, "two-hfs.dmg"), out])
    check(code == 0 and images(out) == ["two-hfs-4.hfs", "two-hfs-5.hfs"], "two-hfs.dmg: %s" % images(out))

    # An existing image is replaced only when the user says so.
    out = fresh(os.path.join(work, "overwrite"))
    earlier = os.path.join(out, "all-types.hfs")
    with open(earlier, "wb") as f:
        f.write(b"an earlier image")
    code, text = run([tool, "extract-hfs", os.path.join(fixtures, "all-types.dmg"), out])
    check(code == 1 and "already exists. Overwrite it?" in text, "refused overwrite: exit %d, %s" % (code, text))
    check(open(earlier, "rb").read() == b"an earlier image", "a refused overwrite changed the earlier image")
    code, _ = run([tool, "extract-hfs", os.path.join(fixtures, "all-types.dmg"), out, "--overwrite"])
    check(code == 0 and filecmp.cmp(earlier, volume, shallow=False), "an agreed overwrite did not replace the image")

    for name, words in BAD_DMGS:
        out = fresh(os.path.join(work, "bad-" + name))
        code, text = run([tool, "extract-hfs", os.path.join(fixtures, name), out])
        check(code == 1 and words in text, "%s: exit %d, expected %r in:\n%s" % (name, code, words, text))
        check(os.listdir(out) == [], "%s left %s" % (name, os.listdir(out)))


def package_path(tool, fixtures, work):
    volume = os.path.join(fixtures, "volume.hfs")
    out = fresh(os.path.join(work, "packages"))
    # The same build twice gets a second name; the earlier image stays as it was. A package that is
    # the bare disk image and one without a chunk list work as well.
    runs = [("RecoveryHDUpdate.pkg", "16G29", "RecoveryHD-16G29.hfs"),
            ("RecoveryHDUpdate.pkg", "16G29", "RecoveryHD-16G29 (2).hfs"),
            ("no-chunklist.pkg", "17G66", "RecoveryHD-17G66.hfs"),
            ("RecoveryHDMeta.dmg", "18G103", "RecoveryHD-18G103.hfs"),
            # The installer products' package, a xar that is a disk image as well; one whose
            # BaseSystem.dmg and chunk list are stored compressed.
            ("RecoveryHDMetaDmg.pkg", "19H15", "RecoveryHD-19H15.hfs"),
            ("decmpfs.pkg", "18G95", "RecoveryHD-18G95.hfs"),
            # A build from the web that would climb out of the image folder stays inside it.
            ("RecoveryHDUpdate.pkg", "../../19H2", "RecoveryHD-19H2.hfs")]
    for package, build, expected in runs:
        code, text = run([tool, "extract-hfs-pkg", os.path.join(fixtures, package), build, out])
        image = os.path.join(out, expected)
        check(code == 0 and text.rstrip().endswith(image), "%s %s: exit %d, %s" % (package, build, code, text))
        check(os.path.exists(image) and filecmp.cmp(image, volume, shallow=False), expected + ": not the volume")
    check(len(os.listdir(out)) == len(runs), "the image folder holds %s" % os.listdir(out))

    for name, words in BAD_PACKAGES:
        out = fresh(os.path.join(work, "pkg-" + name))
        code, text = run([tool, "extract-hfs-pkg", os.path.join(fixtures, name), "16G29", out])
        check(code == 1 and words in text, "%s: exit %d, expected %r in:\n%s" % (name, code, words, text))
        check("left in the working folder" not in text, name + " left files in the working folder")
        check(os.listdir(out) == [], "%s left %s" % (name, os.listdir(out)))


def compressed_files(fixtures, work):
    """7-Zip expands the fixture writer's compressed files to their plain copies: the files the
    reader is tested on are what macOS writes."""
    out = fresh(os.path.join(work, "compressed"))
    # It fails on the two files made so that nobody can expand them.
    subprocess.run(["7zz", "x", os.path.join(fixtures, "compressed.hfs"), "-o" + out],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    root = os.path.join(out, "macOS Base System")
    for name in ("noise-inline", "text", "noise", "mixed"):
        check(filecmp.cmp(os.path.join(root, "packed", name), os.path.join(root, "plain", name), shallow=False),
              "compressed.hfs: 7-Zip expands packed/%s to another content" % name)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("--fixtures", required=True)
    parser.add_argument("--work", required=True)
    args = parser.parse_args()
    work = fresh(args.work)
    dmg_path(args.tool, args.fixtures, work)
    package_path(args.tool, args.fixtures, work)
    compressed_files(args.fixtures, work)
    print("%d failed" % len(failures) if failures else "all checks passed")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
