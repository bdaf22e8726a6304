// The format pipeline; see format_drive.h. The steps run strictly in order; a step that ends the
// run leaves through the common end, which restores the window and the shared flags.
#include "prepare/format_drive.h"

#include <cstring>
#include <string>
#include <vector>

#include "core/gadget_numbers.h"
#include "core/globals.h"
#include "core/settings.h"
#include "core/status_bar.h"
#include "core/transfer_progress.h"
#include "disk/chosen_disk.h"
#include "disk/drive_list.h"
#include "disk/inventory.h"
#include "disk/raw_access.h"
#include "disk/system_drive.h"
#include "disk/volume_letters.h"
#include "embedded.h"
#include "net/download_jobs.h"
#include "platform/clock.h"
#include "platform/common/exfat_boot.h"
#include "platform/device_layouts.h"
#include "platform/files.h"
#include "platform/gui.h"
#include "prepare/boot_record_plan.h"
#include "prepare/data_set_install.h"
#include "prepare/fat32_format.h"
#include "prepare/local_repository.h"
#include "prepare/partition_table.h"

namespace vu {

namespace {

constexpr int ExFatBackupBootSector = 12;
constexpr int ExFatChecksumSector = 11;

struct Run {
    int32_t installDataSet = 0;
    SettingsRecord s;  // the settings as they were when the run was started
    bool holdsDownloadSlot = false;
    BootRecordPlan plan;
    plat::DeviceHandle drive = plat::NoDevice;
    plat::DeviceHandle volume = plat::NoDevice;
    // The drive's old volumes, locked and dismounted while their sectors are rewritten: Windows
    // refuses raw writes inside a mounted volume and mounts an unlocked one again at once.
    std::vector<plat::DeviceHandle> oldVolumes;
    uint32_t bytesPerSector = 0;
};

// Ends a run without success: whatever step stopped it, the run must not end with "All done".
bool Stop(const std::string& text = "", int pauseMs = StatusPauseMs) {
    FormatFailed = 1;
    ShowStatus(text, pauseMs);
    return false;
}

void Release(plat::DeviceHandle& handle) {
    if (handle == plat::NoDevice) return;
    UnlockVolume(handle);
    plat::CloseDevice(handle);
    handle = plat::NoDevice;
}

bool IsOnlyFormat(const Run& run) { return run.s.Boot_records == "Not_Format"; }

// The run installs the downloaded data set (see InstallDataSetPhase).
bool DownloadsDataSet(const Run& run) {
    return run.s.Boot_records != "FreeDos" && run.installDataSet == 1 && run.s.InstallDataSet == "DL";
}

std::string FileNameOf(const std::string& path) { return path.substr(path.find_last_of("\\/") + 1); }

PartitionTableInput TableInput(const Run& run) {
    PartitionTableInput input;
    input.diskSize = SelectedDisk.Geometry.DiskSize;
    input.bytesPerSector = SelectedDisk.Geometry.BytesPerSector;
    input.sectorsPerTrack = SelectedDisk.Geometry.SectorsPerTrack;
    input.chsSectors = SelectedDisk.ChsSectors;
    input.requestedStart = LeadingNumber(run.s.StartLBASector);
    input.multiPartitions = run.s.MultiPartitions != 0;
    input.bootPartitionMiB = run.s.BootPartitionSize;
    return input;
}

// The drive cannot hold the planned partitions (a boot partition larger than the stick, a disk
// beyond what an MBR can describe, an unreadable geometry): refused before anything is written.
bool LayoutFits(const Run& run) {
    uint32_t sectorBytes = SelectedDisk.Geometry.BytesPerSector;
    if (sectorBytes < 512 || sectorBytes % 512 != 0) return false;
    PartitionTableInput input = TableInput(run);
    return PlanFitsDisk(input, PlanPartitions(input));
}

// The downloaded data set needs the download slot, which the revision check or a list update may
// hold: the run waits for it before anything is asked or written, and is refused with nothing
// written when it stays taken (or the run is cancelled meanwhile).
bool TakeDownloadSlot(Run& run) {
    if (!ClaimDownloadBusy()) {
        ShowStatus(WaitingForDownloadText, 0);
        if (!WaitForDownloadSlot(DownloadSlotWaitMs, AbortRequested)) {
            if (!AbortRequested) plat::MessageBox("Error!", "Can't download Latest Clover.", plat::MbIconError);
            return false;
        }
    }
    run.holdsDownloadSlot = true;
    return true;
}

// Steps up to the confirmation: the guards, the plan, the summary and the question.
bool Confirm(Run& run) {
    if (!GetSelectedDrive()) return Stop();
    if (WriteRefusal refusal = SelectedDiskWriteRefusal(); refusal != WriteRefusal::None) {
        plat::MessageBox("Error", RefusalBoxText(refusal), plat::MbIconWarning);
        return Stop();
    }
    if (SelectedDisk.BusTypeName != "USB" &&
        plat::MessageBox("Warning",
                         "Are You sure?\r\nTarget Drive is Not USB Disk!\r\n\r\nTo Continue with this operation, "
                         "click OK.\r\nTo quit click CANCEL.",
                         plat::MbOkCancel | plat::MbIconWarning) != plat::IdOk)
        return Stop();

    // Without its files a FreeDos stick cannot boot: nothing is written for it.
    if (run.s.Boot_records == "FreeDos" && !HasFreeDosPackage()) {
        plat::MessageBox("Error",
                         "Sorry, FreeDos is not available:\r\nthis build of the program carries no FreeDOS files.",
                         plat::MbIconError);
        return Stop();
    }
    // FreeDos boots from FAT32-LBA only; the run's copy changes, the setting stays.
    if (run.s.Boot_records == "FreeDos") run.s.FileSystem = "FAT32-LBA";
    auto plan = PlanBootRecords(run.s.Boot_records, run.s.FileSystem);
    if (!plan) return Stop("Error : Select FileSystem : FAT32-LBA Or exFAT only!", ErrorPauseMs);
    run.plan = *plan;

    std::string localPath;
    if (run.s.Boot_records == "Clover" && run.s.InstallDataSet == "Local") {
        WaitForRepositoryScans();
        localPath = RepositoryDataSetPath();
        if (!localPath.empty() && plat::FileSize(localPath) > 0) {
            ShowStatus("Success Read Local Data set", StatusPauseMs);
        } else {
            ShowStatus("Can't Read Local Data set", StatusPauseMs);
            plat::MessageBox("Warning",
                             "WARNING: Sorry, Not Found Any Clover Distr in Local Repository: \r\n" +
                                 run.s.CloverLocalRepository,
                             plat::MbIconWarning);
            return Stop();
        }
    }

    TaskSummaryInput summary;
    summary.installDataSet = run.installDataSet != 0;
    summary.bootRecords = run.s.Boot_records;
    summary.fileSystem = run.s.FileSystem;
    summary.startLbaSector = run.s.StartLBASector;
    summary.installDataSetSource = run.s.InstallDataSet;
    summary.installRevision = run.s.InstallRevision;
    summary.localDataSetRevision = LocalDataSetRevision();
    summary.localDataSetFileName = FileNameOf(localPath);
    std::string task = TaskSummary(summary);

    std::string drive = SelectedDisk.ProductId + " " + SelectedDisk.VendorId + " " + SizeText(SelectedDisk.DiskLength, 0);
    if (!SelectedDisk.Letters.empty()) {
        drive += " (" + SelectedDisk.Letters + ")";
    } else if (IsOnlyFormat(run)) {
        return Stop("Error : Can't copy Boot Data Set Files - Dest Disk Don't Have a Letter!", ErrorPauseMs);
    }
    if (!IsOnlyFormat(run) && !LayoutFits(run)) return Stop("Error : The Partitions don't fit on the Disk!", ErrorPauseMs);
    if (DownloadsDataSet(run) && !TakeDownloadSlot(run)) return Stop();

    int answer = plat::MessageBox("WARNING",
                                  "ALL DATA ON DEVICE:\r\n" + drive + "\r\nWILL BE DESTROYED.\r\n\r\n" + task +
                                      "\r\nTo Continue with this operation, click OK.\r\nTo quit click CANCEL.",
                                  plat::MbOkCancel | plat::MbIconWarning);
    if (answer != plat::IdOk) return Stop();
    return true;
}

bool WriteOrStop(plat::DeviceHandle handle, uint32_t sectorBytes, int64_t sector, int64_t count, const void* data) {
    if (WriteSectors(handle, sectorBytes, sector, count, data) != 0) return true;
    return Stop("Error writing to the Disk" + std::to_string(SelectedDisk.DiskNumber));
}

void ReleaseOldVolumes(Run& run) {
    for (plat::DeviceHandle& volume : run.oldVolumes) Release(volume);
    run.oldVolumes.clear();
}

// Wiping, the partition table with the MBR boot code, and the zeroed first sectors of the new
// partitions; the drive handle and the old volumes are let go once the system has read the new table.
bool WritePartitionTable(Run& run) {
    uint32_t sectorBytes = run.bytesPerSector;
    std::vector<uint8_t> sector(size_t(sectorBytes) * run.plan.MbrSectors, 0);
    std::memcpy(sector.data(), run.plan.MbrImage, size_t(run.plan.MbrSectors) * 512);

    run.drive = OpenDisk(SelectedDisk.DiskNumber, "", true, true);
    if (run.drive == plat::NoDevice)
        return Stop("Error opening the Disk" + std::to_string(SelectedDisk.DiskNumber) + " for write&lock");

    for (int slot = 0; slot < SelectedDisk.PartitionCount && slot < PartitionSlotCount; ++slot) {
        const std::string& letter = SelectedDisk.Partitions[slot].Letter;
        if (letter.empty()) continue;
        plat::DeviceHandle volume = OpenDisk(0, letter, false, true);
        if (volume == plat::NoDevice) {
            ShowStatus("Error open volume " + letter + " for write&lock", StatusPauseMs);
            continue;
        }
        DismountVolume(volume);
        run.oldVolumes.push_back(volume);
    }

    DrawProgressBar(StatusBarGadget, "Create PartitionTable", 0);
    ClearDiskStructures(run.drive, SelectedDisk.Geometry.DiskSize, sectorBytes);

    PartitionTableInput input = TableInput(run);
    auto table = BuildPartitionTable(input);
    std::memcpy(sector.data() + PartitionTableOffset, table.data(), table.size());
    uint32_t signature = uint32_t(plat::TickCount());
    for (int i = 0; i < 4; ++i) sector[0x1B8 + i] = uint8_t(signature >> (8 * i));
    if (!WriteOrStop(run.drive, sectorBytes, 0, 1, sector.data())) return false;

    std::fill(sector.begin(), sector.end(), 0);
    PartitionPlan partitions = PlanPartitions(input);
    for (const PartitionExtent& partition : {partitions.first, partitions.second}) {
        if (partition.count == 0) continue;
        DrawProgressBar(StatusBarGadget, "Clearing PBR structures ...", 0);
        if (!WriteOrStop(run.drive, sectorBytes, partition.start, 1, sector.data())) return false;
    }

    plat::DeviceControl(run.drive, IoctlDiskUpdateProperties, nullptr, 0, nullptr, 0);
    ReleaseOldVolumes(run);
    Release(run.drive);
    plat::Sleep(500);
    return true;
}

// The fresh inventory of the drive, its partition 1 with a letter, and the file system on it.
bool FormatFirstPartition(Run& run) {
    ScanDisks();
    for (const DiskRecord& disk : DiskList)
        if (disk.DiskNumber == SelectedDisk.DiskNumber) {
            SelectedDisk = disk;
            break;
        }
    SelectedDisk.SelectedPartition = 0;

    run.drive = OpenDisk(SelectedDisk.DiskNumber, "", true, true);
    if (run.drive == plat::NoDevice) return Stop("Error opening the Disk" + std::to_string(SelectedDisk.DiskNumber));

    std::string& letter = SelectedDisk.Partitions[0].Letter;
    if (letter.empty()) {
        letter = AssignDriveLetter("\\device\\harddisk" + std::to_string(SelectedDisk.DiskNumber) + "\\partition1");
        if (letter.empty()) return Stop("Error : No free Drive Letter for the new Partition!", ErrorPauseMs);
        SelectedDisk.Letters = letter;
    }

    plat::DeviceHandle volume = OpenDisk(0, letter, true, true);
    if (volume == plat::NoDevice) return Stop("Error open volume " + letter + " With lock");
    DismountVolume(volume);
    Release(volume);

    ShowStatus("Formatting Drive " + letter.substr(0, 2) + "...", StatusPauseMs);
    std::string fileSystemName = run.s.FileSystem == "FAT32-LBA" ? "FAT32" : run.s.FileSystem;
    if (!CreateFileSystem(letter, fileSystemName, run.s.VolumeLabel, run.s.QuickFormat, LeadingNumber(run.s.ClusterSize)))
        return Stop();

    if (run.s.FileSystem == "FAT32-LBA") {
        std::vector<uint8_t> mbr(run.bytesPerSector, 0);
        // A table that cannot be read back is not written over with a zeroed one.
        if (ReadSectors(run.drive, run.bytesPerSector, 0, 1, mbr.data()) == 0)
            return Stop("Error reading the Disk" + std::to_string(SelectedDisk.DiskNumber));
        mbr[0x1C2] = 0x0C;
        if (!WriteOrStop(run.drive, run.bytesPerSector, 0, 1, mbr.data())) return false;
    }
    plat::Sleep(500);
    plat::DeviceControl(run.drive, IoctlDiskUpdateProperties, nullptr, 0, nullptr, 0);
    return true;
}

// The embedded partition boot code over the formatter's boot sector, keeping the file system's
// own fields; for exFAT also in the backup boot region, with fresh checksum sectors.
bool MergePartitionBootRecord(Run& run) {
    uint32_t sectorBytes = run.bytesPerSector, count = run.plan.PbrSectors;
    std::vector<uint8_t> formatted(size_t(sectorBytes) * count), merged(size_t(sectorBytes) * count, 0);
    const std::string& letter = SelectedDisk.Partitions[0].Letter;
    run.volume = OpenDisk(SelectedDisk.DiskNumber, letter, true, true);
    if (run.volume == plat::NoDevice) return Stop("Error open volume " + letter + " With lock");

    // Merging with a boot sector that was not read would write a volume without its parameters.
    if (ReadSectors(run.volume, sectorBytes, 0, count, formatted.data()) == 0)
        return Stop("Error reading the volume " + letter);
    std::memcpy(merged.data(), run.plan.PbrImage, size_t(count) * 512);
    MergeBootRecord(formatted.data(), merged.data(), run.s.FileSystem);

    if (!WriteOrStop(run.volume, sectorBytes, 0, count, merged.data())) return false;
    // FAT32 keeps a copy of its boot sector; a copy that differs is a damaged file system to fsck.
    if (uint32_t backup = Fat32BackupBootSector(formatted.data(), run.s.FileSystem);
        backup != 0 && !WriteOrStop(run.volume, sectorBytes, backup, count, merged.data()))
        return false;
    if (run.s.FileSystem == "exFAT") {
        if (!WriteOrStop(run.volume, sectorBytes, ExFatBackupBootSector, count, merged.data())) return false;
        std::vector<uint8_t> region(size_t(sectorBytes) * 12);
        if (ReadSectors(run.volume, sectorBytes, 0, 12, region.data()) == 0)
            return Stop("Error reading the volume " + letter);
        WriteExFatChecksumSector(region.data(), sectorBytes);
        const uint8_t* checksum = region.data() + size_t(sectorBytes) * ExFatChecksumSector;
        if (!WriteOrStop(run.volume, sectorBytes, ExFatChecksumSector, 1, checksum) ||
            !WriteOrStop(run.volume, sectorBytes, ExFatBackupBootSector + ExFatChecksumSector, 1, checksum))
            return false;
    }
    // Dismounted before the lock goes, so that the file system is mounted again from the new
    // boot sector instead of writing its old view back.
    DismountVolume(run.volume);
    Release(run.volume);
    return true;
}

// Everything between the confirmation and the common end.
void Prepare(Run& run) {
    // The button pressed again since the click that started the run (also while the question was
    // open) is a cancel: clearing FormatFailed below would lose it, and nothing is written yet.
    if (AbortRequested) return void(Stop());
    // The stick may have been swapped for another while the questions were open.
    if (!SelectedDiskStillThere()) {
        FormatFailed = 1;
        return;
    }
    plat::SetGadgetText(FormatButton, "Format Cancel");
    FormatFailed = 0;
    if (!IsOnlyFormat(run)) {
        run.bytesPerSector = SelectedDisk.Geometry.BytesPerSector;
        if (!WritePartitionTable(run) || !FormatFirstPartition(run)) return;
        if (run.plan.PbrSectors != 0 && !MergePartitionBootRecord(run)) return;
        RemountVolume(SelectedDisk.Partitions[0].Letter);
        DrawProgressBar(StatusBarGadget, run.s.Boot_records + " boot records installed", 0);
        plat::Sleep(1000);
    }
    InstallDataSetPhase(run.installDataSet, run.s, SelectedDisk.Partitions[0].Letter);
}

}  // namespace

int32_t ClearDiskStructures(plat::DeviceHandle diskHandle, int64_t diskSizeBytes, uint32_t bytesPerSector) {
    if (bytesPerSector == 0) {
        FormatFailed = 1;
        return 0;
    }
    int64_t total = diskSizeBytes / bytesPerSector;
    std::vector<uint8_t> zero(bytesPerSector, 0);
    DrawProgressBar(StatusBarGadget, "Clearing MBR/GPT structures ...", 0);
    auto wipe = [&](int64_t sector) {
        return !FormatFailed && WriteSectors(diskHandle, bytesPerSector, sector, 1, zero.data()) == bytesPerSector;
    };
    for (int64_t sector = 0; sector < 128; ++sector)
        if (!wipe(sector)) return 0;
    for (int64_t sector = total - 128; sector < total; ++sector)
        if (!wipe(sector)) return 0;
    return 1;
}

void FormatDrive(int32_t installDataSet, const SettingsRecord& settings) {
    plat::DisableGadget(DriveListGadget, true);
    OperationBusy = 1;

    Run run;
    run.installDataSet = installDataSet;
    run.s = settings;
    if (Confirm(run)) Prepare(run);

    Release(run.volume);
    ReleaseOldVolumes(run);
    Release(run.drive);
    if (run.holdsDownloadSlot) ReleaseDownloadBusy();
    if (!FormatFailed) ShowStatus("All done", StatusPauseMs);
    plat::SetGadgetText(FormatButton, "Format Disk");
    plat::DisableGadget(DriveListGadget, false);
    FillDriveList();
    FormatFailed = 0;
    AbortRequested = 0;
    OperationBusy = 0;
}

}  // namespace vu
