// The latest-revision check; see revision_check.h.
#include "net/revision_check.h"

#include <pcre2.h>

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "core/gadget_numbers.h"
#include "core/gadget_updates.h"
#include "core/globals.h"
#include "core/settings.h"
#include "core/status_bar.h"
#include "net/download_hosts.h"
#include "net/download_jobs.h"
#include "net/found_revisions.h"
#include "platform/gui.h"
#include "platform/system.h"

namespace vu {

namespace {

constexpr uint32_t Blue = 0xFF0000;  // RGB 0, 0, 255 as Windows keeps colours

pcre2_code* ArchivePattern() {
    static pcre2_code* pattern = [] {
        int error = 0;
        PCRE2_SIZE offset = 0;
        return pcre2_compile(reinterpret_cast<PCRE2_SPTR>("([0-9]+)\\.tar\\.lzma"), PCRE2_ZERO_TERMINATED, 0,
                             &error, &offset, nullptr);
    }();
    return pattern;
}

// The revision in a run of digits; 0 when it is none.
int32_t RevisionOf(std::string_view digits) {
    size_t first = digits.find_first_not_of('0');
    if (first == std::string_view::npos || digits.size() - first > 10) return 0;
    int64_t value = 0;
    for (char c : digits.substr(first)) value = value * 10 + (c - '0');
    return value <= INT32_MAX ? int32_t(value) : 0;
}

std::string CheckDateNow() {
    plat::LocalDateTime now = plat::LocalNow();
    char text[32];
    std::snprintf(text, sizeof text, "%02d.%02d.%02d %02d:%02d", now.day % 100, now.month % 100, now.year % 100,
                  now.hour % 100, now.minute % 100);
    return text;
}

void ShowFoundRevisions(const std::vector<int32_t>& revisions, const std::string& latest, const std::string& date) {
    if (plat::WindowExists(MainWindow)) ShowLatestCloverRevision(latest);
    if (!plat::WindowExists(ConfigurationWindow)) return;
    plat::ClearGadgetItems(RevisionsCombo);
    for (int32_t revision : revisions) plat::AddGadgetItem(RevisionsCombo, std::to_string(revision));
    plat::SetGadgetState(RevisionsCombo, 0);
    plat::DisableGadget(RevisionsCombo, plat::GetGadgetState(DlOption) != 1);
    plat::SetGadgetText(CheckNowButton, "r" + latest);
    plat::SetGadgetText(CheckDateText, date);
    plat::SetGadgetTextColor(CheckDateText, Blue);
}

}  // namespace

std::string CloverPageAddress() { return HostAddress(DownloadHost::Clover, CloverPagePath); }

std::string CloverArchiveAddress(const std::string& revision) {
    return CloverPageAddress() + "CloverISO-" + revision + ".tar.lzma/download";
}

std::vector<int32_t> FindRevisions(std::string_view page) {
    std::vector<int32_t> revisions;
    pcre2_code* pattern = ArchivePattern();
    if (!pattern) return revisions;
    pcre2_match_data* match = pcre2_match_data_create_from_pattern(pattern, nullptr);
    auto subject = reinterpret_cast<PCRE2_SPTR>(page.data());
    PCRE2_SIZE offset = 0;
    while (offset < page.size() && pcre2_match(pattern, subject, page.size(), offset, 0, match, nullptr) >= 2) {
        PCRE2_SIZE* at = pcre2_get_ovector_pointer(match);
        if (int32_t revision = RevisionOf(page.substr(at[2], at[3] - at[2])); revision > 0)
            revisions.push_back(revision);
        offset = at[1];
    }
    pcre2_match_data_free(match);
    std::sort(revisions.begin(), revisions.end(), std::greater<>());
    revisions.erase(std::unique(revisions.begin(), revisions.end()), revisions.end());
    return revisions;
}

std::string RevisionNumberText(const std::string& text) {
    int32_t number = LeadingNumber(text);
    return number > 0 ? std::to_string(number) : "";
}

std::string RevisionCheckResultText(const DownloadRequest& request, int32_t result) {
    if (result == WebBadParameters) return "Check procedure parameters";
    if (result == WebAddHeadersError || result == WebResumeRejected || result == WebResumeLimit)
        return "Unexpected error = " + std::to_string(result);
    return DownloadResultText(request, result);
}

void ParseRevisionPage(DownloadRequest& request, int32_t result, int64_t, int64_t, int64_t) {
    {
        std::lock_guard<std::mutex> l(RevisionSettingsLock);
        CloverLastRev = "0";
    }
    std::string message;
    if (result == WebOk) {
        std::vector<int32_t> revisions = FindRevisions(request.Buffer);
        if (revisions.empty()) {
            request.Result = WebNothingFound;
            plat::MessageBox("Error", "Not Found standart Clover archive distribution file:\r\nCloverISO-NNNN.tar.lzma",
                             plat::MbIconWarning);
            return;
        }
        FoundRevisions.Replace(revisions);
        std::string latest = std::to_string(revisions.front()), date = CheckDateNow();
        {
            std::lock_guard<std::mutex> l(RevisionSettingsLock);
            CloverLastRev = latest;
            CloverLastRevCheckDate = date;
            InstallRevision = latest;
        }
        message = "Found Latest Clover r" + latest;
        ShowFoundRevisions(revisions, latest, date);
    } else {
        message = RevisionCheckResultText(request, result);
        if (plat::WindowExists(ConfigurationWindow)) {
            FoundRevisions.Clear();
            plat::ClearGadgetItems(RevisionsCombo);
            plat::DisableGadget(RevisionsCombo, true);
        }
    }
    ShowStatus(message, StatusPauseMs);
}

int32_t RunRevisionCheck(int32_t clearBusy, const std::atomic<int32_t>& cancel) {
    DownloadRequest request;
    request.Cancel = &cancel;
    request.Url = CloverPageAddress();
    request.Destination = DownloadToMemory;
    request.ChunkSize = 1048576;
    request.MaxAttempts = 10;
    request.OnDone = ParseRevisionPage;
    HttpDownload(request);
    if (clearBusy) ReleaseDownloadBusy();
    return request.Result;
}

void RevisionCheckJob(int clearBusy) { RunRevisionCheck(clearBusy, DownloadAbortRequested); }

}  // namespace vu
