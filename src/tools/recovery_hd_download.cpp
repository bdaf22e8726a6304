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
#include "net/recovery_catalog.h"
#include "net/recovery_download.h"
#include "net/recovery_server.h"
#include "platform/files.h"
#include "platform/gui.h"
#include "tools/image_extraction.h"
#include "tools/recovery_package.h"
#include "tools/recovery_server_image.h"

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

// The summary box after a successful run; `served` names what Apple's recovery server sent.
std::string RecoveryHdSummaryText(const std::string& title, const std::string& served, const std::string& imageFolder) {
    return "\tSummary Information:\r\n\r\nDL HD Recovery file For MACOSX: \"" + title + "\" ........... Success\r\n" +
           (served.empty() ? "" : "Served by Apple's recovery server: " + served + "\r\n") +
           "Extract HFS-Image (*.hfs) from HD Recovery file ................. Success\r\n"
           "Saved in the Directory: \"" + imageFolder +
           "\" ........... Success\r\n\r\nAn ZarnImage file can be restored to the required Partition\r\n"
           "using the button [Restore ...].";
}

// The download into the run's working folder `folder`; releases the download slot once the file
// is in. True with the downloaded file's path (and for a server image its verified chunk list).
bool Fetch(const RecoveryEntry& entry, const RecoveryBoard* board, const SettingsRecord& settings,
           const std::string& folder, std::string& file, Chunklist& list) {
    if (board)
        return FetchServerImage(*board, folder, settings.ZarnImageLocalRepo, settings.ResumeMaxAttemptsNumber, file,
                                list);
    // A package whose size the catalog names must fit into the working folder before it is fetched.
    std::string error;
    int64_t size = DecimalValue(entry.Size);
    if (size > 0 && !RoomFor(folder, uint64_t(size), error)) {
        ReleaseDownloadBusy();
        ShowStatus(error, StatusPauseMs);
        plat::MessageBox("Error", error, plat::MbIconWarning);
        return false;
    }
    int32_t downloaded = RunRecoveryDownload(entry, folder, settings.ResumeMaxAttemptsNumber);
    ReleaseDownloadBusy();
    file = folder + RecoveryPackageName;
    return downloaded == WebOk;  // a failure was reported by the download itself
}

// The download and the extraction in the run's working folder `folder`. Done with the image's path.
RecoveryHdExtraction FetchAndExtract(const RecoveryEntry& entry, const RecoveryBoard* board,
                                     const SettingsRecord& settings, const std::string& folder) {
    std::string file;
    Chunklist list;
    RecoveryHdExtraction extraction;
    if (!Fetch(entry, board, settings, folder, file, list)) return extraction;

    std::string name = FilePartOf(file);
    ShowStatus(name + " Downloaded", 1000);
    HideWorkFolderEntries(folder);
    ShowStatus("Extracting HFS-Image from " + name + " ...", StatusPauseMs);
    const std::string& images = settings.ZarnImageLocalRepo;
    extraction = board ? ExtractServerImage(file, list, images)
                       : ExtractRecoveryHdPackage(file, RecoveryEntryBuild(entry), folder, images);
    switch (extraction.outcome) {
        case RecoveryHdExtraction::Done:
            ShowStatus("Done", StatusPauseMs);
            return extraction;
        case RecoveryHdExtraction::Cancelled:
            ShowStatus("Extract HFS-Image from " + name + " aborted", StatusPauseMs);
            plat::MessageBox("Information", "Extraction aborted", plat::MbIconInformation);
            return extraction;
        case RecoveryHdExtraction::Failed: break;
    }
    // The error codes users know: 3 when the image folder is missing, 4 when unpacking failed.
    int code = plat::FolderExists(images) ? 4 : 3;
    ShowStatus("Extract HFS-Image from " + name + " ErrorCode: " + std::to_string(code), StatusPauseMs);
    plat::MessageBox("Error", "Can't extract the HFS-Image from " + name + ":\r\n" + extraction.error,
                     plat::MbIconError);
    return extraction;
}

// Everything between the flags.
RecoveryHdExtraction DownloadAndExtract(const RecoveryEntry& entry, const SettingsRecord& settings) {
    if (!ClaimDownloadBusy()) {
        plat::MessageBox("Error!", "Can't download HDRecovery for MAC OS X " + entry.Title, plat::MbIconError);
        return {};
    }
    WorkFolder work;
    if (!work.Create()) {
        ReleaseDownloadBusy();
        plat::MessageBox("Error!", "Can't create TEMP folder!" + work.Path(), plat::MbIconError);
        return {};
    }
    return FetchAndExtract(entry, RecoveryBoardOf(entry), settings, work.Path());
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
    RecoveryHdExtraction extraction = DownloadAndExtract(entry, settings);
    bool result = extraction.outcome == RecoveryHdExtraction::Done;
    if (result) {
        std::string served;
        if (RecoveryBoardOf(entry))
            served = extraction.build.empty() ? "an image that names no macOS version"
                                              : "macOS " + extraction.version + " (" + extraction.build + ")";
        plat::MessageBox("Info", RecoveryHdSummaryText(entry.Title, served, settings.ZarnImageLocalRepo),
                         plat::MbIconInformation);
    }
    if (imagePath) *imagePath = result ? extraction.imagePath : "";
    FillDriveList();
    AbortRequested = 0;
    OperationBusy = 0;
    plat::SetGadgetText(DlCenterButton, "DL Center");
    return result;
}

void DownloadRecoveryHdJob(int, const SettingsRecord& settings) { DownloadRecoveryHd(ChosenRecoveryEntry(), settings); }

}  // namespace vu
