// Partition restore; see partition_images.h. A run goes through its steps in order; a step that
// ends it returns to RestorePartition, whose common end closes what was opened and gives the
// window back.
//
// The partition's volume, when it has a letter, stays open, locked and dismounted from before the
// first write until the partition table has been reread: Windows refuses raw writes into a mounted
// volume and mounts a dismounted one again on the next access once nobody holds it.
// The table entry is rewritten only after the whole image was written and read back unchanged: a
// partition recorded as holding an image it does not hold is worse than the old entry.
#include <algorithm>
#include <cstring>
#include <string>

#include "core/gadget_numbers.h"
#include "core/globals.h"
#include "core/status_bar.h"
#include "core/transfer_progress.h"
#include "disk/chosen_disk.h"
#include "disk/drive_list.h"
#include "disk/raw_access.h"
#include "images/chunk_io.h"
#include "images/mbr_entry.h"
#include "images/partition_images.h"
#include "platform/clock.h"
#include "platform/device_layouts.h"
#include "platform/gui.h"
#include "platform/transfer_io.h"

namespace vu {

bool VerifyRestoredImage = true;

namespace {

struct Restore {
    plat::DeviceHandle drive = plat::NoDevice;   // the physical drive: the MBR goes through it
    plat::DeviceHandle target = plat::NoDevice;  // the partition's volume, or the drive itself
    plat::FileHandle image = 0;
    int64_t imageSize = 0;
    int64_t bytesPerSector = 0;
    int64_t partitionFirstSector = 0;  // on the disk
    ChunkBuffer buffers[3];            // two for the copy, the third holds the image while checking
};

std::string Decimal(int64_t value) { return std::to_string(value); }

// Reads the image bytes of [offset, offset + length) of the written range in order; a last sector
// that the image fills only in part is padded with zeros, as raw devices take whole sectors only.
ChunkIo ReadImagePadded(const Restore& run, uint8_t* buffer, int64_t offset, int64_t length) {
    int64_t present = std::clamp<int64_t>(run.imageSize - offset, 0, length);
    ChunkIo read = ReadFileChunk(run.image, buffer, present);
    if (read.ok) std::memset(buffer + present, 0, size_t(length - present));
    return read;
}

void ShowProgress(const std::string& prefix, TransferTiming& timing, const ChunkRun& soFar, int64_t chunkStart,
                  int64_t totalBytes) {
    if (!ProgressDue(timing, chunkStart)) return;
    ProgressLine line = RunningProgressLine(std::min(soFar.bytesHanded, totalBytes), totalBytes,
                                            soFar.bytesRead + soFar.bytesHanded, HighResTicks() - timing.startTicks);
    DrawProgressBar(StatusBarGadget, prefix + line.text, line.percent);
}

// Reads [begin, end) back from the partition and compares it with the image. True when both hold
// the same bytes; a difference, a failed read and a cancel each end the check.
bool Verify(Restore& run, int64_t begin, int64_t end) {
    ShowStatus("Verifying ...", 0);
    if (!plat::SeekFile(run.image, 0)) {
        ShowStatus("ReadFile Error=" + Decimal(plat::LastErrorCode()), 0);
        return false;
    }
    int64_t mismatchAt = -1;
    TransferTiming timing = StartTransfer();
    ChunkSteps steps;
    steps.read = [&run](uint8_t* buffer, int64_t offset, int64_t length) {
        return ReadDeviceChunk(run.target, offset, buffer, length);
    };
    steps.hand = [&](const uint8_t* disk, int64_t offset, int64_t length) {
        uint8_t* expected = run.buffers[2].data();
        ChunkIo image = ReadImagePadded(run, expected, offset - begin, length);
        if (!image.ok || std::memcmp(disk, expected, size_t(length)) == 0) return ChunkIo{image.ok, length, image.error};
        int64_t at = 0;
        while (disk[at] == expected[at]) ++at;
        mismatchAt = offset - begin + at;
        return ChunkIo{};
    };
    steps.progress = [&](const ChunkRun& soFar, int64_t chunkStart) {
        ShowProgress("Verifying ", timing, soFar, chunkStart, run.imageSize);
    };
    ChunkRun checked = RunChunks(begin, end, steps, run.buffers[0].data(), run.buffers[1].data());
    if (mismatchAt >= 0)
        ShowStatus("Verify Error: Disk and image differ at offset " + Decimal(mismatchAt), 0);
    else if (checked.stop == ChunkStop::ReadFailed || checked.stop == ChunkStop::HandFailed)
        ShowStatus("ReadFile Error=" + Decimal(checked.error), 0);
    return checked.stop == ChunkStop::Complete;
}

// Records the restored partition in the drive's MBR: type HFS+ and `sectors` sectors. True unless
// sector 0 could not be read or written; a disk whose table must not be touched is told and left.
bool UpdateMbrEntry(Restore& run, int64_t sectors) {
    uint8_t* sector = run.buffers[0].data();
    ChunkIo read = ReadDeviceChunk(run.drive, 0, sector, run.bytesPerSector);
    if (!read.ok) {
        ShowStatus("Error updating the MBR: ReadFile Error=" + Decimal(read.error), 0);
        return false;
    }
    MbrEntryPlan plan = PlanMbrEntryUpdate(sector, run.partitionFirstSector);
    switch (plan.verdict) {
        case MbrEntryVerdict::Update:
            break;
        case MbrEntryVerdict::GptDisk:
            ShowStatus("MBR not changed: the Disk has a GPT partition table", StatusPauseMs);
            return true;
        case MbrEntryVerdict::NoTable:
            ShowStatus("MBR not changed: the Disk has no MBR partition table", StatusPauseMs);
            return true;
        case MbrEntryVerdict::NotPrimary:
            ShowStatus("MBR not changed: the Partition is not a primary MBR partition", StatusPauseMs);
            return true;
    }
    ApplyMbrEntryUpdate(sector, plan.index, uint32_t(sectors));
    ChunkIo written = WriteDeviceChunk(run.drive, 0, sector, run.bytesPerSector);
    if (!written.ok) ShowStatus("Error updating the MBR: WriteFile Error=" + Decimal(written.error), 0);
    return written.ok;
}

// Writes the image from the partition's first sector, checks it and records it in the MBR.
void Transfer(Restore& run, int64_t firstSector) {
    int64_t sectors = (run.imageSize + run.bytesPerSector - 1) / run.bytesPerSector;
    int64_t begin = firstSector * run.bytesPerSector, end = begin + sectors * run.bytesPerSector;
    TransferTiming timing = StartTransfer();
    plat::SetGadgetText(RestoreButton, "Restore Cancel");
    ChunkSteps steps;
    steps.read = [&run, begin](uint8_t* buffer, int64_t offset, int64_t length) {
        return ReadImagePadded(run, buffer, offset - begin, length);
    };
    steps.hand = [&run](const uint8_t* buffer, int64_t offset, int64_t length) {
        return WriteDeviceChunk(run.target, offset, buffer, length);
    };
    steps.progress = [&](const ChunkRun& soFar, int64_t chunkStart) {
        ShowProgress("", timing, soFar, chunkStart, run.imageSize);
    };
    ChunkRun copied = RunChunks(begin, end, steps, run.buffers[0].data(), run.buffers[1].data());
    if (copied.stop == ChunkStop::ReadFailed) return ShowStatus("ReadFile Error=" + Decimal(copied.error), 0);
    if (copied.stop == ChunkStop::HandFailed) return ShowStatus("WriteFile Error=" + Decimal(copied.error), 0);
    int64_t copyTicks = HighResTicks() - timing.startTicks;

    ShowStatus("Write buffered Data to the Disk", 0);
    bool good = plat::FlushDevice(run.target);
    if (!good) ShowStatus("WriteFile Error=" + Decimal(plat::LastErrorCode()), 0);
    // Only a complete copy is checked and recorded; a cancelled one leaves the table as it was.
    good = good && copied.stop == ChunkStop::Complete && (!VerifyRestoredImage || Verify(run, begin, end)) &&
           UpdateMbrEntry(run, sectors);
    plat::FlushDevice(run.drive);
    if (good || AbortRequested)
        ShowFinishedProgress(std::min(copied.bytesHanded, run.imageSize), run.imageSize,
                             copied.bytesRead + copied.bytesHanded, copyTicks);
    plat::Sleep(2000);
    plat::DeviceControl(run.drive, IoctlDiskUpdateProperties, nullptr, 0, nullptr, 0);
}

// The image file chosen, checked against the partition and confirmed; "" when the run stops.
std::string AskImageFile(const SettingsRecord& settings, int64_t capacity, int64_t& size) {
    std::string path = plat::OpenFileRequester("Select ZarnImage file to Restore", DefaultImagePath(settings),
                                               ImageFilePattern, ImagePatternIndex, MainWindow);
    if (path.empty()) return "";
    size = plat::FileSize(path);
    if (size > 0 && size > capacity) {
        plat::MessageBox("Error", "File too big:\n" + path + "\n" + SizeText(size, 1), plat::MbIconError);
        return "";
    }
    if (size > 0) {
        int answer = plat::MessageBox("Information", "You have selected following file:\n" + path + "\n" + SizeText(size, 0),
                                      plat::MbYesNo);
        return answer == plat::IdYes ? path : "";
    }
    if (!plat::FileExists(path) && !plat::FolderExists(path))
        plat::MessageBox("Error", "The selected file:\n" + path + "\nnot found.", plat::MbIconError);
    return "";
}

void Run(Restore& run, const SettingsRecord& settings) {
    if (!GetSelectedDrive()) return;
    if (SelectedDisk.SelectedPartition == 0) return ShowStatus("For Restore select Partition only", 0);
    const PartitionSlot& slot = SelectedDisk.Partitions[SelectedDisk.SelectedPartition - 1];
    std::string openError = "Error opening the Disk" + Decimal(SelectedDisk.DiskNumber);
    run.bytesPerSector = SelectedDisk.Geometry.BytesPerSector;
    // Without the geometry no sector can be addressed: the disk is as unusable as an unopened one.
    if (run.bytesPerSector <= 0) return ShowStatus(openError, 1000);
    int64_t sectorCount = slot.Info.PartitionLength / run.bytesPerSector;
    run.partitionFirstSector = slot.Info.StartingOffset / run.bytesPerSector;

    run.drive = OpenDisk(SelectedDisk.DiskNumber, "", true, true);
    if (run.drive == plat::NoDevice) return ShowStatus(openError, 1000);
    int64_t firstSector = 0;
    if (slot.Letter.empty()) {
        firstSector = run.partitionFirstSector;
        run.target = run.drive;
    } else {
        run.target = OpenDisk(0, slot.Letter, true, true);
        if (run.target == plat::NoDevice) return ShowStatus(openError, 1000);
        DismountVolume(run.target);
    }
    plat::DeviceControl(run.target, FsctlAllowExtendedDasdIo, nullptr, 0, nullptr, 0);
    for (ChunkBuffer& buffer : run.buffers) buffer = ChunkBuffer(TransferChunkBytes);
    if (!run.buffers[0] || !run.buffers[1] || !run.buffers[2]) return;

    std::string path = AskImageFile(settings, sectorCount * run.bytesPerSector, run.imageSize);
    // Cancelled before the copy: not one sector of the partition is overwritten.
    if (path.empty() || AbortRequested || !SelectedDiskStillThere()) return;
    run.image = plat::OpenImageFile(path);
    if (!run.image) return ShowStatus("Unable to open file " + path, 1000);
    Transfer(run, firstSector);
}

}  // namespace

void RestorePartition(int, const SettingsRecord& settings) {
    OperationBusy = 1;
    plat::DisableGadget(DriveListGadget, true);

    Restore run;
    Run(run, settings);

    for (ChunkBuffer& buffer : run.buffers) buffer = ChunkBuffer();
    if (run.image) plat::CloseFile(run.image);
    if (run.target != plat::NoDevice) {
        UnlockVolume(run.target);
        plat::CloseDevice(run.target);
    }
    if (run.drive != plat::NoDevice && run.drive != run.target) {
        UnlockVolume(run.drive);
        plat::CloseDevice(run.drive);
    }
    if (AbortRequested) ShowStatus("Restore Cancelled", 0);
    AbortRequested = 0;
    // The list is rebuilt while the run still counts as busy, so that its last word (the final
    // line, an error, the cancel) stays on the status bar instead of the list's prompt.
    FillDriveList();
    OperationBusy = 0;
    plat::DisableGadget(DriveListGadget, false);
    plat::SetGadgetText(RestoreButton, "Restore Partition");
}

}  // namespace vu
