// Partition backup; see partition_images.h. A run goes through its steps in order; a step that
// ends it returns to BackupPartition, whose common end closes what was opened and gives the window
// back.
#include <string>

#include "core/gadget_numbers.h"
#include "core/globals.h"
#include "core/status_bar.h"
#include "core/transfer_progress.h"
#include "disk/chosen_disk.h"
#include "disk/drive_list.h"
#include "disk/raw_access.h"
#include "images/chunk_io.h"
#include "images/partition_images.h"
#include "platform/clock.h"
#include "platform/gui.h"
#include "platform/transfer_io.h"

namespace vu {

const char* const ImageFilePattern =
    "Binary (*.bin)|*.bin|HFS/HFS+ (*.hfs)|*.hfs|HFS/HFS+/Binary (*.hfs;*.bin)|*.hfs;*.bin|All files (*.*)|*.*";

std::string DefaultImagePath(const SettingsRecord& settings) { return settings.ZarnImageLocalRepo + "PartSave.bin"; }

namespace {

struct Backup {
    plat::DeviceHandle source = plat::NoDevice;
    plat::FileHandle image = 0;
    ChunkBuffer buffers[2];
};

// The image file chosen and confirmed; "" when the user stepped back.
std::string AskImageFile(const SettingsRecord& settings) {
    std::string path = plat::SaveFileRequester("Save to ZarnImage file:", DefaultImagePath(settings), ImageFilePattern,
                                               ImagePatternIndex, MainWindow);
    if (path.empty() || plat::FolderExists(path)) return "";
    int answer = plat::FileExists(path)
                     ? plat::MessageBox("Warning", "The selected file:\n" + path + "\nalready exists. Overwrite it?",
                                        plat::MbYesNo | plat::MbIconWarning)
                     : plat::MessageBox("Information", "You have selected following file:\n" + path, plat::MbYesNo);
    return answer == plat::IdYes ? path : "";
}

// Copies [begin, end) of the source into the image file.
void Copy(Backup& run, int64_t begin, int64_t end, int64_t partitionLength) {
    TransferTiming timing = StartTransfer();
    plat::SetGadgetText(BackupButton, "Backup Cancel");
    ChunkSteps steps;
    steps.read = [&run](uint8_t* buffer, int64_t offset, int64_t length) {
        return ReadDeviceChunk(run.source, offset, buffer, length);
    };
    // The file is written in order, never positioned.
    steps.hand = [&run](const uint8_t* buffer, int64_t, int64_t length) {
        return WriteFileChunk(run.image, buffer, length);
    };
    steps.progress = [&](const ChunkRun& soFar, int64_t chunkStart) {
        if (ProgressDue(timing, chunkStart))
            ShowRunningProgress(soFar.bytesRead, partitionLength, soFar.bytesRead + soFar.bytesHanded,
                                HighResTicks() - timing.startTicks);
    };
    ChunkRun copied = RunChunks(begin, end, steps, run.buffers[0].data(), run.buffers[1].data());
    if (copied.stop == ChunkStop::ReadFailed) return ShowStatus("ReadFile Error=" + std::to_string(copied.error), 0);
    if (copied.stop == ChunkStop::HandFailed) return ShowStatus("WriteFile Error=" + std::to_string(copied.error), 0);

    // A cancelled backup keeps the chunks copied so far, and says how far it came.
    plat::SetFileEnd(run.image);
    ShowStatus("Write buffered Data to the Disk", 0);
    // Data still in the system's buffers is not in the file until this succeeds.
    if (!plat::FlushFile(run.image))
        return ShowStatus("WriteFile Error=" + std::to_string(plat::LastErrorCode()), 0);
    ShowFinishedProgress(copied.bytesRead, partitionLength, copied.bytesRead + copied.bytesHanded,
                         HighResTicks() - timing.startTicks);
}

void Run(Backup& run, const SettingsRecord& settings) {
    if (!GetSelectedDrive()) return;
    if (SelectedDisk.SelectedPartition == 0) return ShowStatus("For BackUp select Partition only", 0);
    const PartitionSlot& slot = SelectedDisk.Partitions[SelectedDisk.SelectedPartition - 1];
    int64_t bytesPerSector = SelectedDisk.Geometry.BytesPerSector;
    std::string openError = "BackUp: Error open Disk" + std::to_string(SelectedDisk.DiskNumber) + "Part" +
                            std::to_string(SelectedDisk.SelectedPartition);
    // Without the geometry no sector can be addressed: the disk is as unusable as an unopened one.
    if (bytesPerSector <= 0) return ShowStatus(openError, 1000);

    int64_t sectorCount = slot.Info.PartitionLength / bytesPerSector, firstSector = 0;
    if (!slot.Letter.empty()) {
        run.source = OpenDisk(0, slot.Letter, false, true);
    } else {
        firstSector = slot.Info.StartingOffset / bytesPerSector;
        run.source = OpenDisk(SelectedDisk.DiskNumber, "", false, false);
    }
    if (run.source == plat::NoDevice) return ShowStatus(openError, 1000);
    plat::DeviceControl(run.source, FsctlAllowExtendedDasdIo, nullptr, 0, nullptr, 0);
    run.buffers[0] = ChunkBuffer(TransferChunkBytes);
    run.buffers[1] = ChunkBuffer(TransferChunkBytes);
    if (!run.buffers[0] || !run.buffers[1]) return;

    std::string path = AskImageFile(settings);
    // Cancelled before the copy: an existing file is not truncated for nothing.
    if (path.empty() || AbortRequested || !SelectedDiskStillThere()) return;
    run.image = plat::CreateImageFile(path);
    if (!run.image) return ShowStatus("Unable to create file " + path, 1000);
    Copy(run, firstSector * bytesPerSector, (firstSector + sectorCount) * bytesPerSector, slot.Info.PartitionLength);
}

}  // namespace

void BackupPartition(int, const SettingsRecord& settings) {
    OperationBusy = 1;
    plat::DisableGadget(DriveListGadget, true);

    Backup run;
    Run(run, settings);

    run.buffers[0] = ChunkBuffer();
    run.buffers[1] = ChunkBuffer();
    if (run.image) plat::CloseFile(run.image);
    if (run.source != plat::NoDevice) {
        UnlockVolume(run.source);
        plat::CloseDevice(run.source);
    }
    if (AbortRequested) ShowStatus("Backup Cancelled", 0);
    plat::Sleep(5000);
    plat::SetGadgetText(BackupButton, "Backup Partition");
    plat::DisableGadget(DriveListGadget, false);
    AbortRequested = 0;
    // Rebuilt while the run still counts as busy: once the flag is clear the loop may rebuild the
    // list on its own thread, and two rebuilds of DiskList at once would race.
    FillDriveList();
    OperationBusy = 0;
}

}  // namespace vu
