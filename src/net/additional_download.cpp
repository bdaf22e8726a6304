// The download of an additional item; see additional_download.h.
#include "net/additional_download.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <string_view>

#include "core/gadget_numbers.h"
#include "core/globals.h"
#include "core/status_bar.h"
#include "core/work_folder.h"
#include "disk/drive_list.h"
#include "net/download_callbacks.h"
#include "net/download_jobs.h"
#include "net/file_digest.h"
#include "net/http_download.h"
#include "net/url_parts.h"
#include "platform/files.h"
#include "platform/gui.h"

namespace vu {

namespace {

std::mutex chosenLock;
AdditionalEntry chosen;

void Refuse(const AdditionalEntry& entry, const std::string& reason) {
    std::string text = "Can't download " + entry.Name + ":\r\n" + reason;
    ShowStatus("Can't download " + entry.Name, StatusPauseMs);
    plat::MessageBox("Error!", text, plat::MbIconError);
}

// False (and a box) when the downloaded `file`, saved as `name`, does not match the item's digest.
bool MatchesDigest(const AdditionalEntry& entry, const std::string& file, const std::string& name) {
    DigestKind kind = DigestKindOf(entry.Md5Digest);
    if (kind == DigestKind::None) return true;
    std::string kindName = kind == DigestKind::Md5 ? "MD5" : "SHA-1";
    DrawProgressBar(StatusBarGadget, "Checking the " + kindName + " digest of " + name + " ...", 0);
    std::string actual = FileDigestHex(kind, file);
    if (SameDigest(actual, entry.Md5Digest)) return true;
    ShowStatus(name + " does not match its digest", StatusPauseMs);
    plat::MessageBox("Error!",
                     "The downloaded file " + name + " does not match the " + kindName +
                         " digest of its download list and was deleted.\r\nExpected: " + entry.Md5Digest +
                         "\r\nReceived: " + (actual.empty() ? "(the file could not be read or hashed)" : actual),
                     plat::MbIconError);
    return false;
}

}  // namespace

bool IsStorableName(const std::string& name) {
    if (name.empty() || name.size() > 255 || name.back() == '.' || name.back() == ' ') return false;
    for (char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos)
            return false;
    // Device names stay devices whatever extension follows them ("nul.txt").
    std::string base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (char& c : base) c = char(std::toupper(static_cast<unsigned char>(c)));
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return false;
    return !(base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) && base[3] >= '1' && base[3] <= '9');
}

bool CatalogFolder(const std::string& catalog, std::string& folder) {
    folder.clear();
    std::string path = catalog;
    for (char& c : path)
        if (c == '/') c = '\\';
    if (path.empty()) return true;
    if (path[0] == '\\') return false;  // a root or UNC path
    for (size_t at = 0; at < path.size();) {
        size_t end = std::min(path.find('\\', at), path.size());
        std::string piece = path.substr(at, end - at);
        at = end + 1;
        if (piece.empty()) continue;
        // Names of dots alone ("..") end in a dot; "C:" holds a colon: both are refused here.
        if (!IsStorableName(piece)) return false;
        folder += piece + "\\";
    }
    return true;
}

std::string UrlFileName(const std::string& url) {
    std::string address = url.substr(0, url.find('#'));
    address = address.substr(0, address.find('?'));
    return address.substr(address.rfind('/') + 1);
}

AdditionalDownload RunAdditionalDownload(const AdditionalEntry& entry, const SettingsRecord& settings) {
    AdditionalDownload download;
    download.result = WebBadParameters;
    std::string folder = settings.CloverLocalRepository, sub;
    if (!folder.empty() && folder.back() != '\\') folder += '\\';
    if (!CatalogFolder(entry.Catalog, sub)) {
        Refuse(entry, "the Catalog \"" + entry.Catalog + "\" is not a folder inside the Clover Local Repository.");
        return download;
    }
    // An address the engine cannot split fails there, with its own text.
    std::string name, object;
    if (UrlObject(entry.Url, object) == UrlPartFound) {
        name = UrlFileName(entry.Url);
        if (!IsStorableName(name)) {
            Refuse(entry, "its address ends in \"" + name + "\", which is no file name Windows can store.");
            return download;
        }
    }
    if (!sub.empty()) {
        folder += sub;
        if (!plat::FolderExists(folder)) CreateDirectoryTree(folder);
    }

    DownloadRequest request;
    request.Url = entry.Url;
    request.Destination = DownloadToFile;
    request.ChunkSize = 1048576;
    request.MaxAttempts = settings.ResumeMaxAttemptsNumber;
    request.Cancel = &AbortRequested;
    request.OnOpened = ShowConnecting;
    request.OnProgress = ShowDownloadProgress;
    // The digest is checked before the file replaces an earlier copy of the same name, which a
    // file that does not match leaves as it was; its own box tells of it.
    bool mismatch = false;
    request.OnComplete = [&](DownloadRequest& r, const std::string& file) {
        mismatch = !MatchesDigest(entry, file, FilePartOf(r.FileName));
        return !mismatch;
    };
    request.OnDone = [&](DownloadRequest& r, int32_t result, int64_t received, int64_t total, int64_t seconds) {
        ReportDownloadResult(r, mismatch ? WebOk : result, received, total, seconds);
    };
    request.FileName = folder + name;
    download.fileName = request.FileName;
    download.result = HttpDownload(request);
    return download;
}

std::string DownloadSummaryText(const AdditionalEntry& entry, const std::string& repository) {
    return "\tSummary Information:\r\n\r\nDL: \"" + entry.Name + "\" ........... Success\r\nSaved in the Directory: \"" +
           entry.Catalog + "\" ........... Success\r\nin the Clover Local Repository: \r\n\"" + repository + "\"\r\n";
}

int32_t DownloadAdditionalItem(const AdditionalEntry& entry, const SettingsRecord& settings) {
    int32_t result = 0;
    OperationBusy = 1;
    plat::SetGadgetText(DlCenterButton, "Cancel DL");
    if (ClaimDownloadBusy()) {
        AdditionalDownload download = RunAdditionalDownload(entry, settings);
        ReleaseDownloadBusy();
        if (download.result == WebOk) {
            result = 1;
            ShowStatus(FilePartOf(download.fileName) + " Downloaded", 1000);
        }
    } else {
        plat::MessageBox("Error!", "Can't download " + entry.Name, plat::MbIconError);
    }
    if (result == 1)
        plat::MessageBox("Info", DownloadSummaryText(entry, settings.CloverLocalRepository), plat::MbIconInformation);
    FillDriveList();
    AbortRequested = 0;
    OperationBusy = 0;
    plat::SetGadgetText(DlCenterButton, "DL Center");
    return result;
}

void SetChosenAdditionalEntry(const AdditionalEntry& entry) {
    std::lock_guard<std::mutex> l(chosenLock);
    chosen = entry;
}

void DownloadAdditionalJob(int, const SettingsRecord& settings) {
    AdditionalEntry entry;
    {
        std::lock_guard<std::mutex> l(chosenLock);
        entry = chosen;
    }
    DownloadAdditionalItem(entry, settings);
}

}  // namespace vu
