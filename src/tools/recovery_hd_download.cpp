// The Download Center's Recovery HD download and extraction; see recovery_hd_download.h.
#include "tools/recovery_hd_download.h"

#include <cctype>

#include "core/gadget_numbers.h"
#include "core/globals.h"
#include "core/status_bar.h"
#include "core/work_folder.h"
#include "disk/drive_list.h"
#include "net/download_jobs.h"
#include "net/http_download.h"
#include "net/recovery_download.h"
#include "platform/files.h"
#include "platform/gui.h"
#include "tools/recovery_package.h"

namespace vu {

namespace {

// One or two digits (the major version), a capital letter (the minor), up to five digits and an
// optional small letter (a seed): "9L30", "16G29", "18A5351d".
bool IsBuildCode(const std::string& text) {
    size_t at = 0;
    auto digits = [&](size_t most) {
        size_t start = at;
        while (at < text.size() && at - start < most && std::isdigit(static_cast<unsigned char>(text[at]))) ++at;
        return at > start;
    };
    if (!digits(2) || at == text.size() || !std::isupper(static_cast<unsigned char>(text[at++])) || !digits(5))
        return false;
    if (at < text.size() && std::islower(static_cast<unsigned char>(text[at]))) ++at;
    return at == text.size();
}

void HideWorkFolderEntries(const std::string& folder) {
    for (const auto& entry : plat::ListFolder(folder)) plat::SetHidden(folder + entry.name, true);
}

// The summary box after a successful run.
std::string RecoveryHdSummaryText(const std::string& title, const std::string& imageFolder) {
    return "\tSummary Information:\r\n\r\nDL HD Recovery file For MACOSX: \"" + title +
           "\" ........... Success\r\nExtract HFS-Image (*.hfs) from HD Recovery file ................. Success\r\n"
           "Saved in the Directory: \"" + imageFolder +
           "\" ........... Success\r\n\r\nAn ZarnImage file can be restored to the required Partition\r\n"
           "using the button [Restore ...].";
}

// The download and the extraction in the run's working folder `folder`; releases the download
// slot once the package is in. True when the image was written (its path in `image`).
bool FetchAndExtract(const RecoveryEntry& entry, const SettingsRecord& settings, const std::string& build,
                     const std::string& folder, std::string& image) {
    int32_t downloaded = RunRecoveryDownload(entry, folder, settings.ResumeMaxAttemptsNumber);
    ReleaseDownloadBusy();
    if (downloaded != WebOk) return false;  // reported by the download itself

    std::string package = folder + RecoveryPackageName, name = FilePartOf(package);
    ShowStatus(name + " Downloaded", 1000);
    HideWorkFolderEntries(folder);
    ShowStatus("Extracting HFS-Image from " + name + " ...", StatusPauseMs);
    const std::string& images = settings.ZarnImageLocalRepo;
    RecoveryHdExtraction extraction = ExtractRecoveryHdPackage(package, build, folder, images);
    switch (extraction.outcome) {
        case RecoveryHdExtraction::Done:
            image = extraction.imagePath;
            ShowStatus("Done", StatusPauseMs);
            return true;
        case RecoveryHdExtraction::Cancelled:
            ShowStatus("Extract HFS-Image from " + name + " aborted", StatusPauseMs);
            plat::MessageBox("Information", "Extraction aborted", plat::MbIconInformation);
            return false;
        case RecoveryHdExtraction::Failed: break;
    }
    // The error codes users know: 3 when the image folder is missing, 4 when unpacking failed.
    int code = plat::FolderExists(images) ? 4 : 3;
    ShowStatus("Extract HFS-Image from " + name + " ErrorCode: " + std::to_string(code), StatusPauseMs);
    plat::MessageBox("Error", "Can't extract the HFS-Image from " + name + ":\r\n" + extraction.error,
                     plat::MbIconError);
    return false;
}

// Everything between the flags: true when the image was written (its path in `image`).
bool DownloadAndExtract(const RecoveryEntry& entry, const SettingsRecord& settings, std::string& image) {
    const std::string cannot = "Can't download HDRecovery for MAC OS X " + entry.Title;
    std::string build = RecoveryEntryBuild(entry);
    if (build.empty()) {
        plat::MessageBox("Error!", cannot + ":\r\nit names no macOS build (such as 16G29) to name its image after.",
                         plat::MbIconError);
        return false;
    }
    if (!ClaimDownloadBusy()) {
        plat::MessageBox("Error!", cannot, plat::MbIconError);
        return false;
    }
    WorkFolder work;
    if (!work.Create()) {
        ReleaseDownloadBusy();
        plat::MessageBox("Error!", "Can't create TEMP folder!" + work.Path(), plat::MbIconError);
        return false;
    }
    return FetchAndExtract(entry, settings, build, work.Path(), image);
}

}  // namespace

std::string RecoveryEntryBuild(const RecoveryEntry& entry) {
    std::string build = entry.Build;
    if (build.empty() && entry.Title.starts_with('(')) {
        size_t close = entry.Title.find(')');
        if (close != std::string::npos) build = entry.Title.substr(1, close - 1);
    }
    return IsBuildCode(build) ? build : "";
}

bool DownloadRecoveryHd(const RecoveryEntry& entry, const SettingsRecord& settings, std::string* imagePath) {
    OperationBusy = 1;
    plat::SetGadgetText(DlCenterButton, "Cancel DL");
    std::string image;
    bool result = DownloadAndExtract(entry, settings, image);
    if (result)
        plat::MessageBox("Info", RecoveryHdSummaryText(entry.Title, settings.ZarnImageLocalRepo), plat::MbIconInformation);
    if (imagePath) *imagePath = image;
    FillDriveList();
    AbortRequested = 0;
    OperationBusy = 0;
    plat::SetGadgetText(DlCenterButton, "DL Center");
    return result;
}

void DownloadRecoveryHdJob(int, const SettingsRecord& settings) { DownloadRecoveryHd(ChosenRecoveryEntry(), settings); }

}  // namespace vu
