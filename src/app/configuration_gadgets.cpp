// The Configuration window's gadget events: each change goes straight into its settings
// variable, with the enabling rules of the window. Main thread.
#include <string>

#include "app/configuration_window.h"
#include "app/repository_list.h"
#include "app/settings_file.h"
#include "core/operations.h"
#include "core/settings.h"
#include "net/found_revisions.h"
#include "platform/files.h"
#include "platform/gui.h"
#include "prepare/local_repository.h"

namespace vu {

namespace {

bool Checked(int gadget) { return plat::GetGadgetState(gadget) == 1; }

void Enable(std::initializer_list<int> gadgets, bool enabled) {
    for (int g : gadgets) plat::DisableGadget(g, !enabled);
}

void OnDataSetSource(int gadget) {
    switch (gadget) {
        case LocalOption:
            InstallDataSet = "Local";
            Enable({FoundDataSetsCombo, DataSetInfoText}, !FoundDataSets().empty());
            Enable({RevisionsCombo}, false);
            break;
        case DlOption:
            InstallDataSet = "DL";
            Enable({RevisionsCombo}, !FoundRevisions.Empty());
            Enable({FoundDataSetsCombo, DataSetInfoText}, false);
            break;
        case NotInstallOption:
            InstallDataSet = "Not_Install";
            Enable({FoundDataSetsCombo, RevisionsCombo}, false);
            break;
    }
}

void OnBootRecords(int gadget) {
    switch (gadget) {
        case WindowsOption: Boot_records = "Windows"; break;
        case CloverOption: Boot_records = "Clover"; break;
        case FreeDosOption: Boot_records = "FreeDos"; break;
        case NotFormatOption: Boot_records = "Not_Format"; break;
    }
    ApplyBootRecordsEnabling();
}

// A folder path as the repository keeps it: ending with "\", so that file names can follow.
std::string FolderWithSeparator(std::string folder) {
    if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder += '\\';
    return folder;
}

// The folder the user chose, or "" when the dialog was cancelled or the folder does not exist.
std::string AskFolder(const std::string& title, const std::string& start) {
    std::string answer = plat::PathRequester(title, start);
    return !answer.empty() && plat::FolderExists(answer) ? FolderWithSeparator(answer) : "";
}

void OnBootPartitionSize() {
    int32_t size = LeadingNumber(plat::GetGadgetText(BootPartitionSizeField));
    BootPartitionSize = size < 32 || size > 2000000 ? 64 : size;
}

void OnFileSystem() {
    std::string text = plat::GetGadgetText(FileSystemCombo);
    if (text == "FAT32" || text == "FAT32-LBA" || text == "NTFS" || text == "exFAT" || text == "UDF") {
        FileSystem = text;
    } else {
        plat::SetGadgetState(FileSystemCombo, 2);
        FileSystem = "FAT32-LBA";
    }
}

}  // namespace

void ApplyBootRecordsEnabling() {
    bool format = Boot_records != "Not_Format";
    Enable({VolumeLabelField, FileSystemCombo, ClusterSizeCombo, AlignCombo, BootPartitionBox}, format);
    Enable({BootPartitionSizeField}, format && Checked(BootPartitionBox));
}

bool ConfigurationGadget(int gadget, int kind) {
    switch (gadget) {
        case CheckAtStartupBox:
            CheckLatestCloverAtStartup = Checked(CheckAtStartupBox) ? 1 : 0;
            return true;
        case SaveAfterDlBox:
            SaveLatestCloverAfterDL = Checked(SaveAfterDlBox) ? 1 : 0;
            return true;
        case BootPartitionBox:
            MultiPartitions = Checked(BootPartitionBox) ? 1 : 0;
            Enable({BootPartitionSizeField}, MultiPartitions == 1);
            return true;
        case FoundDataSetsCombo:
            SelectFoundDataSet();
            return true;
        case RevisionsCombo: {
            std::string revision = plat::GetGadgetText(RevisionsCombo);
            std::lock_guard<std::mutex> l(RevisionSettingsLock);
            InstallRevision = revision;
            return true;
        }
        case AlignCombo:
            if (plat::GetGadgetState(AlignCombo) == 0) plat::SetGadgetState(AlignCombo, 1);
            StartLBASector = plat::GetGadgetText(AlignCombo);
            return true;
        case ClusterSizeCombo:
            if (plat::GetGadgetState(ClusterSizeCombo) == 0) plat::SetGadgetState(ClusterSizeCombo, 1);
            return true;
        case FileSystemCombo:
            OnFileSystem();
            return true;
        case FixedDisksBox:
            EnableFixedDisks = Checked(FixedDisksBox) ? 1 : 0;
            Call(Ops.fillDriveList);
            return true;
        case DlOption:
        case LocalOption:
        case NotInstallOption:
            OnDataSetSource(gadget);
            return true;
        case WindowsOption:
        case CloverOption:
        case FreeDosOption:
        case NotFormatOption:
            OnBootRecords(gadget);
            return true;
        case BootPartitionSizeField:
            OnBootPartitionSize();
            return true;
        case VolumeLabelField:
            VolumeLabel = plat::GetGadgetText(VolumeLabelField);
            return true;
        case CloverRepoButton:
            if (std::string folder = AskFolder("Select Clover Local Repository Path:", CloverLocalRepository);
                !folder.empty())
                StartRepositoryRescan(folder);
            return true;
        case ZarnImageRepoButton:
            if (std::string folder = AskFolder("Select ZarnImage files Local Repository Path:", ZarnImageLocalRepo);
                !folder.empty())
                ZarnImageLocalRepo = folder;
            return true;
    }
    return false;
}

}  // namespace vu
