// The naming tables of the inventory; see disk_names.h.
#include "disk/disk_names.h"

namespace vu {

std::string NameBusType(int16_t value) {
    static const char* const kNames[] = {"Unknown", "SCSI", "ATAPI", "ATA",  "1394",    "SSA",
                                         "Fibre",   "USB",  "RAID",  "iSCSI", "SAS",    "SATA",
                                         "SD",      "MMC",  "Virtual", "FileBackedVirtual"};
    if (value >= 0 && value < 16) return kNames[value];
    // Spaces, NVMe and SCM are newer than the table and stay unnamed.
    if (value == 16 || value == 17 || value == 127) return "";
    return "Unknown";
}

std::string NameDriveType(int32_t code) {
    switch (code) {
        case 1: return "Root directory does not exist";
        case 2: return "Removable";
        case 3: return "Fixed";
        case 4: return "Network";
        case 5: return "CDROM";
        case 6: return "RAMdisk";
        default: return "Indetermined";
    }
}

const std::vector<std::pair<uint8_t, const char*>>& PartitionTypeTable() {
    // The order matters only where a type repeats; FB and FC stand before EB as they always have.
    static const std::vector<std::pair<uint8_t, const char*>> kTable = {
        {0x00, "RAW"}, {0x01, "FAT12"}, {0x02, "XENIX root"}, {0x03, "XENIX usr"}, {0x04, "Small FAT16"},
        {0x05, "Extended"}, {0x06, "FAT16"}, {0x07, "NTFS"}, {0x08, "AIX"}, {0x09, "AIX Bootable"},
        {0x0A, "OS/2 Boot Manager"}, {0x0B, "FAT32"}, {0x0C, "FAT32 LBA"}, {0x0E, "FAT16 LBA"},
        {0x0F, "Extended LBA"}, {0x10, "OPUS"}, {0x11, "Hidden FAT12"}, {0x12, "Compaq Diagnostics"},
        {0x14, "Hidden Small FAT16"}, {0x16, "Hidden FAT16"}, {0x17, "Hidden NTFS"}, {0x18, "AST SmartSleep"},
        {0x1B, "Hidden FAT32"}, {0x1C, "Hidden FAT32 LBA"}, {0x1E, "Hidden FAT16 LBA"}, {0x24, "NEC DOS"},
        {0x27, "Hidden NTFS WinRE"}, {0x39, "Plan 9"}, {0x3C, "PMagic recovery"}, {0x40, "Venix 80286"},
        {0x41, "PPC PReP Boot"}, {0x42, "SFS"}, {0x4D, "QNX4.x"}, {0x4E, "QNX4.x 2nd Partition"},
        {0x4F, "QNX4.x 3rd Partition"}, {0x50, "OnTrack DM"}, {0x51, "OnTrackDM6 Aux1"}, {0x52, "CP/M"},
        {0x53, "OnTrackDM6 Aux3"}, {0x54, "OnTrack DM6"}, {0x55, "EZ Drive"}, {0x56, "Golden Bow"},
        {0x5C, "Priam Edisk"}, {0x61, "SpeedStor"}, {0x63, "GNU HURD/SysV"}, {0x64, "Netware 286"},
        {0x65, "Netware 386"}, {0x70, "DiskSec MultiBoot"}, {0x75, "PC/IX"}, {0x80, "Minix <1.4a"},
        {0x81, "Minix >1.4b"}, {0x82, "Linux Swap"}, {0x83, "Linux"}, {0x84, "OS/2 Hidden C:"},
        {0x85, "Linux Extended"}, {0x86, "NTFS Volume Set"}, {0x87, "NTFS Volume Set"}, {0x88, "Linux Plaintext"},
        {0x8E, "Linux LVM"}, {0x93, "Amoeba"}, {0x94, "Amoeba BBT"}, {0x9F, "BSD/OS"},
        {0xA0, "Thinkpad Hibernation"}, {0xA5, "FreeBSD"}, {0xA6, "OpenBSD"}, {0xA7, "NeXTSTEP"},
        {0xA8, "Darwin UFS"}, {0xA9, "NetBSD"}, {0xAB, "Darwin Boot"}, {0xAF, "HFS/HFS+"}, {0xB7, "BSDI"},
        {0xB8, "BSDI Swap"}, {0xBB, "Boot Wizard Hidden"}, {0xBE, "Solaris Boot"}, {0xBF, "Solaris"},
        {0xC1, "DRDOS/2 FAT12"}, {0xC4, "DRDOS/2 smFAT16"}, {0xC6, "DRDOS/2 FAT16"}, {0xC7, "Syrinx"},
        {0xDA, "Non-FS Data"}, {0xDB, "CP/M"}, {0xDE, "Dell Utility"}, {0xDF, "BootIt"}, {0xE1, "DOS Access"},
        {0xE3, "DOS R/O"}, {0xE4, "SpeedStor"}, {0xFB, "VMware VMFS"}, {0xFC, "VMware VMKCORE"},
        {0xEB, "BeOS"}, {0xEE, "GPT"}, {0xEF, "EFI FAT"}, {0xF0, "Linux/PA-RISC Boot"}, {0xF1, "SpeedStor"},
        {0xF2, "DOS secondary"}, {0xF4, "SpeedStor"}, {0xFD, "Linux RAID Auto"}, {0xFE, "LANstep"},
        {0xFF, "XENIX BBT"},
    };
    return kTable;
}

std::string NamePartitionType(uint8_t type) {
    for (const auto& [value, name] : PartitionTypeTable())
        if (value == type) return name;
    return "UnknownFS";
}

std::string NameGptPartitionType(const std::string& typeGuid) {
    // The types a stick or a system disk commonly carries: Windows', Apple's and Linux's own.
    static const std::pair<const char*, const char*> kTable[] = {
        {"C12A7328-F81F-11D2-BA4B-00A0C93EC93B", "EFI System"},
        {"E3C9E316-0B5C-4DB8-817D-F92DF00215AE", "Microsoft Reserved"},
        {"EBD0A0A2-B9E5-4433-87C0-68B6B72699C7", "Basic Data"},
        {"DE94BBA4-06D1-4D40-A16A-BFD50179D6AC", "Windows Recovery"},
        {"48465300-0000-11AA-AA11-00306543ECAC", "HFS/HFS+"},
        {"7C3457EF-0000-11AA-AA11-00306543ECAC", "APFS"},
        {"426F6F74-0000-11AA-AA11-00306543ECAC", "Apple Boot"},
        {"0FC63DAF-8483-4772-8E79-3D69D8477DE4", "Linux"},
        {"0657FD6D-A4AB-43C4-84E5-0933C84B4F4F", "Linux Swap"},
        {"E6D6D379-F507-44C2-A23C-238F2A3DF928", "Linux LVM"},
        {"21686148-6449-6E6F-744E-656564454649", "BIOS Boot"},
    };
    for (const auto& [guid, name] : kTable)
        if (typeGuid == guid) return name;
    return "UnknownFS";
}

}  // namespace vu
