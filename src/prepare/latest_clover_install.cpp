// The downloaded data set's installation; see latest_clover_install.h.
#include "prepare/latest_clover_install.h"

#include <mutex>
#include <vector>

#include "core/globals.h"
#include "core/status_bar.h"
#include "core/work_folder.h"
#include "net/data_set_download.h"
#include "net/http_download.h"
#include "net/revision_check.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/gui.h"
#include "prepare/archive_extract.h"
#include "prepare/clover_iso_convert.h"

namespace vu {

namespace {

bool ErrorBox(const std::string& title, const std::string& text) {
    plat::MessageBox(title, text, plat::MbIconError);
    return false;
}

void HideWorkFolderEntries(const std::string& folder) {
    for (const auto& entry : plat::ListFolder(folder, "*.*")) plat::SetHidden(folder + entry.name, true);
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

void SaveToLocalRepository(const std::string& repository, const std::string& zipPath, const std::string& zipName) {
    if (CopyFileData(zipPath, repository + zipName)) {
        DrawProgressBar(StatusBarGadget, zipName + " Saved to Clover Local Repo", 0);
        plat::Sleep(4000);
    } else {
        ShowStatus("Error Save " + zipName + " to Clover Local Repo", StatusPauseMs);
    }
}

}  // namespace

bool InstallDownloadedDataSet(const SettingsRecord& settings, const std::string& volume) {
    std::string revision = RevisionNumberText(settings.InstallRevision);
    if (revision.empty()) {
        // The check records the revision it found (CloverLastRev and InstallRevision).
        if (RunRevisionCheck(0, AbortRequested) != WebOk) {
            ShowStatus("Error Check Clover Last Revision", StatusPauseMs);
            return false;
        }
        std::lock_guard<std::mutex> l(RevisionSettingsLock);
        revision = RevisionNumberText(CloverLastRev);
    }
    return InstallLatestClover(settings, revision, volume);
}

bool InstallLatestClover(const SettingsRecord& settings, const std::string& revision, const std::string& destination) {
    if (revision.empty()) return false;
    std::string zipName = "CloverISO-" + revision + ".zip";
    WorkFolder work;
    if (!work.Create()) return ErrorBox("Error!", "Can't create TEMP folder!" + work.Path());
    const std::string& folder = work.Path();
    std::string zipPath = folder + zipName;

    auto download = StartDataSetDownload(revision, folder, settings.ResumeMaxAttemptsNumber);
    if (!download) return ErrorBox("Error!", "Can't download Latest Clover.");
    if (!download->WaitFor(DataSetDownloadTimeoutMs)) {
        ErrorBox("Error!", "Can't download Latest Clover: Timeout " + std::to_string(DataSetDownloadTimeoutMs / 1000) +
                               " secs.");
        // Stopped and waited for, so that it does not write into the folder being deleted.
        download->Stop();
        download->WaitFor(StoppedDownloadWaitMs);
        return false;
    }
    if (download->Result() != WebOk) return false;  // the download reported it itself

    DrawProgressBar(StatusBarGadget, "Clover r" + revision + " Downloaded", 0);
    plat::Sleep(300);
    HideWorkFolderEntries(folder);

    switch (ConvertCloverIso(download->FileName(), zipPath)) {
        case ConvertResult::CannotStart:
            return ErrorBox("Error ! ", "Error Run Extract Latest Clover Data Set.");
        case ConvertResult::Failed:
            return ErrorBox("Error!", "Error During Extract Latest Clover Data Set.");
        case ConvertResult::Done:
            break;
    }
    plat::DeleteFile(download->FileName());
    plat::SetHidden(folder, true);

    if (plat::FileSize(zipPath) <= 0 || !ExtractArchive(nullptr, 0, destination, false, zipPath, true, false))
        return ErrorBox("Error!", "Error Copy the Latest Clover Data Set to Selected Drive.");
    if (settings.SaveLatestCloverAfterDL) SaveToLocalRepository(settings.CloverLocalRepository, zipPath, zipName);
    return true;
}

}  // namespace vu
