// Turning a downloaded bootloader release, "CloverISO-<revision>.tar.lzma" (an LZMA-compressed tar
// holding the bootloader's ISO 9660 image), into the data-set archive "CloverISO-<revision>.zip"
// that the installation copies onto a volume, in process: libarchive reads the LZMA stream, the
// tar and the ISO inside it in one pass, libzip writes the ZIP.
//
// The tree is the one the release's unpack script makes:
//   - the empty bootloader folders EFI/CLOVER/ACPI/{origin,patched,WINDOWS},
//     EFI/CLOVER/{drivers32UEFI,kexts,misc,ROM} and EFI/CLOVER/OEM/SystemProductName/ with
//     ACPI/{origin,patched}, ROM, kexts, UEFI/ACPI/{origin,patched} and UEFI/kexts/Other;
//   - every ISO ("*.iso", in any folder of the tar) extracted over it, in tar order, without the
//     top-level "[BOOT]" folder and the "*.iso" files at the top;
//   - EFI/CLOVER/config.plist copied into OEM/SystemProductName/ and OEM/SystemProductName/UEFI/,
//     EFI/CLOVER/drivers-Off/drivers64UEFI/OsxAptioFixDrv-64.efi into EFI/CLOVER/drivers64UEFI/
//     when that folder exists, the files usr/standalone/i386/ia32/boot* and then
//     usr/standalone/i386/x64/boot* to the top, and usr/standalone/i386/x64/boot6 as "boot".
// Names match without regard to case, as on Windows; entries whose names would leave the tree
// ("..", absolute paths, drive letters) are left out.
//
// The file data goes through a folder beside the ZIP named like it without ".zip"; that folder is
// gone when the call returns, and so is the ZIP after a failure. Runs on the calling thread.
#pragma once
#include <string>

namespace vu {

enum class ConvertResult {
    Done,
    CannotStart,  // the work folder beside the ZIP could not be made
    Failed,       // the archive is missing, unreadable, corrupt or holds no ISO; or the ZIP failed
};

// `detail`, when given, receives what went wrong.
ConvertResult ConvertCloverIso(const std::string& archivePath, const std::string& zipPath,
                               std::string* detail = nullptr);

}  // namespace vu
