// The downloaded data set's installation; see latest_clover_install.h.
#include "prepare/latest_clover_install.h"

#include <mutex>
#include <vector>

#include "core/settings.h"
#include "core/status_bar.h"
#include "core/work_folder.h"
#include "net/data_set_download.h"
#include "net/download_jobs.h"
#include "net/http_download.h"
#include "net/revision_check.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/gui.h"
#include "prepare/archive_extract.h"
#include "prepare/clover_iso_convert.h"

namespace vu {

namespace {

std::string RevisionToInstall() {
    std::lock_guard<std::mutex> l(RevisionSettingsLock);
    return RevisionNumberText(InstallRevision);
}

bool ErrorBox(const std::string& title, const std::string& text) {
    plat::MessageBox(title, text, plat::MbIconError);
    return false;
}

void HideWorkFolderEntries() {
    for (const auto& entry : plat::ListFolder(ZarnTempPath, "*.*")) plat::SetHidden(ZarnTempPath + entry.name, true);
}

// Streams `from` into `to` (replacing it); a partial copy is removed again.
bool CopyFileData(const std::string& from, const std::string& to) {
    plat::FileHandle in = plat::OpenFile(from, plat::FileMode::Read);
    if (!in) return false;
    plat::FileHandle out = plat::OpenFile(to, plat::FileMode::Create);
    bool ok = out != 0;
    std::vector<char> block(1 << 20);
    while (ok) {
        int64_t n = plat::ReadFileData(in, block.data(), int64_t(block.size()));
        if (n == 0) break;
        ok = n > 0 && plat::WriteFileData(out, block.data(), n) == n;
    }
    plat::CloseFile(in);
    if (out) plat::CloseFile(out);
    if (!ok && out) plat::DeleteFile(to);
    return ok;
}

void SaveToLocalRepository(const std::string& zipPath, const std::string& zipName) {
    if (CopyFileData(zipPath, CloverLocalRepository + zipName)) {
        DrawProgressBar(StatusBarGadget, zipName + " Saved to Clover Local Repo", 0);
        plat::Sleep(4000);
    } else {
        ShowStatus("Error Save " + zipName + " to Clover Local Repo", StatusPauseMs);
    }
}

// The working folder goes however InstallLatestClover returns.
struct WorkFolderScope {
    ~WorkFolderScope() { DeleteWorkFolder(); }
};

}  // namespace

bool InstallDownloadedDataSet(const std::string& volume) {
    if (RevisionToInstall().empty()) {
        // The check needs the download slot; a check started at start-up may still hold it.
        int32_t result = WaitAndClaimDownloadBusy(RevisionCheckSlotWaitMs) ? RunRevisionCheck(1) : 0;
        if (result != WebOk) {
            ShowStatus("Error Check Clover Last Revision", StatusPauseMs);
            return false;
        }
        std::lock_guard<std::mutex> l(RevisionSettingsLock);
        InstallRevision = CloverLastRev;
    }
    return InstallLatestClover(volume);
}

bool InstallLatestClover(const std::string& destination) {
    std::string revision = RevisionToInstall();
    if (revision.empty()) return false;
    std::string zipName = "CloverISO-" + revision + ".zip";
    WorkFolderScope scope;
    if (!CreateWorkFolder()) return ErrorBox("Error!", "Can't create TEMP folder!" + ZarnTempPath);
    std::string zipPath = ZarnTempPath + zipName;

    auto download = StartDataSetDownload(revision, ZarnTempPath);
    if (!download) return ErrorBox("Error!", "Can't download Latest Clover.");
    if (!download->WaitFor(DataSetDownloadTimeoutMs)) {
        ErrorBox("Error!", "Can't download Latest Clover: Timeout " + std::to_string(DataSetDownloadTimeoutMs / 1000) +
                               " secs.");
        // Stopped and waited for, so that it does not write into the folder being deleted.
        download->Stop();
        download->WaitFor(RevisionCheckSlotWaitMs);
        return false;
    }
    if (download->Result() != WebOk) return false;  // the download reported it itself

    DrawProgressBar(StatusBarGadget, "Clover r" + revision + " Downloaded", 0);
    plat::Sleep(300);
    HideWorkFolderEntries();

    switch (ConvertCloverIso(download->FileName(), zipPath)) {
        case ConvertResult::CannotStart:
            return ErrorBox("Error ! ", "Error Run Extract Latest Clover Data Set.");
        case ConvertResult::Failed:
            return ErrorBox("Error!", "Error During Extract Latest Clover Data Set.");
        case ConvertResult::Done:
            break;
    }
    plat::DeleteFile(download->FileName());
    plat::SetHidden(ZarnTempPath, true);

    if (plat::FileSize(zipPath) <= 0 || !ExtractArchive(nullptr, 0, destination, false, zipPath, true, false))
        return ErrorBox("Error!", "Error Copy the Latest Clover Data Set to Selected Drive.");
    if (SaveLatestCloverAfterDL) SaveToLocalRepository(zipPath, zipName);
    return true;
}

}  // namespace vu
