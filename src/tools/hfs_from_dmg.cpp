// The DMG extraction of the Tools menu; see hfs_from_dmg.h.
#include "tools/hfs_from_dmg.h"

#include <atomic>
#include <new>

#include "core/gadget_numbers.h"
#include "core/globals.h"
#include "core/status_bar.h"
#include "core/work_folder.h"
#include "platform/files.h"
#include "platform/gui.h"
#include "tools/image_extraction.h"
#include "tools/udif_image.h"

namespace vu {

std::vector<std::string> ExtractedHfsImages;

namespace {

std::atomic<bool> StatusBarCancels{false};

const char* const CancelHint = "  - click here to cancel";

// "BaseSystem.dmg" -> "BaseSystem"; a name without an extension stays whole.
std::string Stem(const std::string& fileName) {
    size_t dot = fileName.rfind('.');
    return dot == std::string::npos || dot == 0 ? fileName : fileName.substr(0, dot);
}

void ErrorBox(const std::string& text) { plat::MessageBox("Error", text, plat::MbIconError); }

bool Extract() {
    WorkFolder work;
    if (!work.Create()) {
        ErrorBox("Can't create TEMP folder!" + work.Path());
        return false;
    }
    std::string dmg = plat::OpenFileRequester("Select DMG-file for extraction", "",
                                              "dmg (*.dmg)|*.dmg|All files (*.*)|*.*", 0, MainWindow);
    if (dmg.empty()) return false;
    std::string folder = plat::PathRequester("Select path to save image file:", FolderOf(dmg), MainWindow);
    if (folder.empty()) return false;
    if (folder.back() != '\\' && folder.back() != '/') folder += '\\';

    std::string name = FileNameOf(dmg);
    FileSource source(dmg);
    UdifImage image;
    std::string error;
    UdifOpen opened = source.IsOpen() ? ReadUdifImage(source, image, error) : UdifOpen::NotUdif;
    if (opened != UdifOpen::Ok) {
        ErrorBox("Can't open \"" + name + "\"\r\nas DMG archive." + (opened == UdifOpen::Damaged ? "\r\n(" + error + ")" : ""));
        return false;
    }
    std::vector<const UdifPartition*> hfs;
    for (const auto& partition : image.partitions)
        if (partition.IsHfs()) hfs.push_back(&partition);
    if (hfs.empty()) {
        ErrorBox("\"" + name + "\" holds no HFS partition.");
        return false;
    }

    for (const UdifPartition* partition : hfs) {
        std::string file = Stem(name) + (hfs.size() > 1 ? "-" + std::to_string(partition->index) : "") + ".hfs";
        std::string path = folder + file;
        if (plat::FolderExists(path)) {
            ErrorBox("Can't write \"" + path + "\":\r\na folder of that name exists.");
            continue;
        }
        if (plat::FileExists(path) &&
            plat::MessageBox("Warning", "The selected file:\n" + path + "\nalready exists. Overwrite it?",
                             plat::MbYesNo | plat::MbIconWarning) != plat::IdYes)
            continue;
        StatusProgress progress(file, partition->Bytes(), CancelHint);
        std::string notice;
        switch (WritePartitionImage(source, image, *partition, path, progress, error, notice)) {
            case DecodeOutcome::Done:
                progress.Finished();
                ShowStatus(notice.empty() ? "" : name + ": " + notice, StatusPauseMs);
                ExtractedHfsImages.push_back(path);
                break;
            case DecodeOutcome::Cancelled:
                ShowStatus("HFS extraction cancelled", StatusPauseMs);
                return false;
            case DecodeOutcome::Failed:
                ShowStatus("HFS extraction failed", 0);
                ErrorBox("Can't extract the HFS volume from \"" + name + "\":\r\n" + error);
                return false;
        }
    }
    if (ExtractedHfsImages.empty()) return false;
    plat::MessageBox("Info", "HFS volume Extracted.", plat::MbIconInformation);
    return true;
}

}  // namespace

void CancelHfsExtractionFromStatusBar() {
    if (StatusBarCancels) AbortRequested = 1;
}

void ExtractHfsFromDmg(int, const SettingsRecord&) {
    OperationBusy = 1;
    ExtractedHfsImages.clear();
    StatusBarCancels = true;
    // A partial image removes itself; what is left to say is why the run ended.
    try {
        Extract();
    } catch (const std::bad_alloc&) {
        ShowStatus("HFS extraction failed", 0);
        ErrorBox("Can't extract the HFS volume:\r\nthere is not enough memory.");
    }
    StatusBarCancels = false;
    AbortRequested = 0;
    OperationBusy = 0;
}

}  // namespace vu
