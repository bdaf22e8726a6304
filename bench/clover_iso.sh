#!/usr/bin/env bash
# Benchmark (not a test): the in-process conversion of a bootloader release ("CloverISO-<rev>.tar.lzma",
# an LZMA-compressed tar holding an ISO image) into its data-set ZIP, against the 7-Zip chain of the
# release's unpack script run with 7zz on the same input. Prints both times, the ratio, and whether
# both ZIPs hold the same tree with the same bytes.
#
# Usage: bench/clover_iso.sh [MiB]     (the size of the .tar.lzma, default 100)
# Builds velloran-image without sanitizers into build/bench; the release is made in a temporary
# folder with xorriso, tar and xz --format=lzma, and removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
mib=${1:-100}

scripts/setup.sh
launch=()
command -v ccache >/dev/null && launch=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release "${launch[@]}" >/dev/null
cmake --build build/bench --target velloran-image -j "${VU_JOBS:-$(nproc)}" >&2
tool=$PWD/build/bench/src/image_tool/velloran-image

work=$(mktemp -d /tmp/vu-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
rev=5151
pack=CloverISO-$rev

# --- The release: the bootloader's tree with themes (incompressible) and binaries (compressible). ---
echo "making a release of about $mib MiB ..." >&2
python3 - "$work/tree" "$mib" <<'EOF'
import os, random, sys
root, mib = sys.argv[1], int(sys.argv[2])
rng = random.Random(5151)
def put(path, data):
    full = os.path.join(root, path)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, 'wb') as f:
        f.write(data)
def binary(size):   # machine-code-like: compresses to about a quarter with LZMA
    words = [rng.randbytes(rng.randint(2, 12)) for _ in range(4096)]
    out = bytearray()
    while len(out) < size:
        out += rng.choice(words)
    return bytes(out[:size])
put('EFI/CLOVER/config.plist', b'<?xml version="1.0"?>\n<plist version="1.0"><dict/></plist>\n' * 50)
put('EFI/CLOVER/drivers-Off/drivers64UEFI/OsxAptioFixDrv-64.efi', binary(40000))
for i in range(3):
    put('usr/standalone/i386/ia32/boot%d' % (i + 3), binary(500000))
    put('usr/standalone/i386/x64/boot%d' % (i + 5), binary(500000))
themes = mib * 3 // 5   # MiB of incompressible pictures
for i in range(themes * 4):
    put('EFI/CLOVER/themes/theme%02d/icon%03d.png' % (i % 20, i), rng.randbytes(256 * 1024))
for i in range(mib * 36 // 10):  # binaries, about 2.2:1 under LZMA: the other 40 % of the release
    put('EFI/CLOVER/drivers64UEFI/driver%03d.efi' % i, binary(256 * 1024))
EOF
xorriso -as mkisofs -R -J -V CLOVER -quiet -o "$work/$pack.iso" "$work/tree"
tar -cf "$work/$pack.tar" -C "$work" "$pack.iso"
xz --format=lzma -1 -T1 "$work/$pack.tar"
rm -rf "$work/tree" "$work/$pack.iso"
release=$work/$pack.tar.lzma
echo "release: $(du -m "$release" | cut -f1) MiB" >&2

now() { echo "$EPOCHREALTIME"; }
elapsed() { python3 -c "import sys; print('%.3f' % (float(sys.argv[2]) - float(sys.argv[1])))" "$1" "$(now)"; }

# --- Ours. ---
mkdir "$work/ours"
cp "$release" "$work/ours/"
start=$(now)
"$tool" convert-clover-iso "$work/ours/$pack.tar.lzma" "$work/ours/$pack.zip"
ours=$(elapsed "$start")

# --- The unpack script's 7-Zip chain, with 7zz. ---
mkdir "$work/7z"
cp "$release" "$work/7z/"
start=$(now)
(
    cd "$work/7z"
    oem=EFI/CLOVER/OEM/SystemProductName
    for folder in EFI/CLOVER/ACPI/origin EFI/CLOVER/ACPI/patched EFI/CLOVER/ACPI/WINDOWS EFI/CLOVER/drivers32UEFI \
        EFI/CLOVER/kexts EFI/CLOVER/misc EFI/CLOVER/ROM $oem/ACPI/origin $oem/ACPI/patched $oem/ROM $oem/kexts \
        $oem/UEFI/ACPI/origin $oem/UEFI/ACPI/patched $oem/UEFI/kexts/Other; do
        mkdir -p "$pack/$folder"
    done
    7zz e "$pack.tar.lzma" -o"$pack" '-i!*.tar' -y >/dev/null
    7zz e "$pack/*.tar" -o"$pack" '-ai!*.tar' '*.iso' -r -y >/dev/null
    rm -f "$pack"/*.tar
    7zz x "$pack/*.iso" -o"$pack" -y >/dev/null
    rm -f "$pack"/*.iso
    rm -rf "$pack/[BOOT]"
    cp "$pack/EFI/CLOVER/config.plist" "$pack/$oem/"
    cp "$pack/EFI/CLOVER/config.plist" "$pack/$oem/UEFI/"
    [ -d "$pack/EFI/CLOVER/drivers64UEFI" ] &&
        cp "$pack/EFI/CLOVER/drivers-Off/drivers64UEFI/OsxAptioFixDrv-64.efi" "$pack/EFI/CLOVER/drivers64UEFI/"
    cp "$pack"/usr/standalone/i386/ia32/boot* "$pack/"
    cp "$pack"/usr/standalone/i386/x64/boot* "$pack/"
    cp "$pack/usr/standalone/i386/x64/boot6" "$pack/boot"
    (cd "$pack" && 7zz a -r -mx9 -tzip "$pack" '*' >/dev/null && mv "$pack.zip" ..)
    rm -rf "$pack"
)
sevenzip=$(elapsed "$start")

# --- The same tree with the same bytes? ---
python3 - "$work/ours/$pack.zip" "$work/7z/$pack.zip" <<'EOF'
import sys, zipfile, zlib
def tree(path):
    with zipfile.ZipFile(path) as z:
        return {i.filename.rstrip('/') + ('/' if i.is_dir() else ''): (i.CRC, i.file_size) for i in z.infolist()}
ours, theirs = tree(sys.argv[1]), tree(sys.argv[2])
if ours == theirs:
    print('same tree: %d entries, identical bytes' % len(ours))
else:
    print('trees differ: only ours %s, only 7-Zip %s, different %s' % (
        sorted(set(ours) - set(theirs))[:10], sorted(set(theirs) - set(ours))[:10],
        sorted(k for k in set(ours) & set(theirs) if ours[k] != theirs[k])[:10]))
    sys.exit(1)
EOF
printf 'velloran-image convert-clover-iso: %6.2f s\n' "$ours"
printf '7zz chain of the unpack script:   %6.2f s\n' "$sevenzip"
python3 -c "import sys; print('ratio (7zz / ours):               %6.2f' % (float(sys.argv[1]) / float(sys.argv[2])))" \
    "$sevenzip" "$ours"
