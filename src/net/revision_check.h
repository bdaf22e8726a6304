// The latest bootloader revision: the bootloader project's file-listing page is fetched and
// scanned for "CloverISO-<revision>.tar.lzma" archives; the highest revision becomes
// CloverLastRev (with its check date and InstallRevision), the menu-bar title and, while it is
// open, the Configuration window's revision list (62), "Check Now" caption (10) and check date (121).
//
// The check runs on a worker thread (start-up, "Check Now") or on the format pipeline's thread
// (the data-set installation), always holding the download slot (net/download_jobs.h).
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "net/http_download.h"

namespace vu {

constexpr const char* CloverPagePath = "/projects/cloverefiboot/files/Bootable_ISO/";

// The listing page and the archive of a revision on the bootloader project's download host.
std::string CloverPageAddress();
std::string CloverArchiveAddress(const std::string& revision);

// The distinct revisions the page names as "<digits>.tar.lzma", highest first. Numbers that are
// 0 or do not fit a 32-bit revision are no revisions.
std::vector<int32_t> FindRevisions(std::string_view page);

// A revision setting as the number it names, in decimal: "" for 0, a negative number or a text
// without a leading number (all of which ask for the latest revision).
std::string RevisionNumberText(const std::string& text);

// The status text of a failed check.
std::string RevisionCheckResultText(const DownloadRequest& request, int32_t result);

// The OnDone callback of the page fetch: records and shows what the page offers. A page without
// any archive sets the request's Result to WebNothingFound and shows a message box; a failed
// fetch shows its text on the status bar only.
void ParseRevisionPage(DownloadRequest& request, int32_t result, int64_t received, int64_t total, int64_t seconds);

// The check itself, on the calling thread; the caller holds the download slot, which a non-zero
// clearBusy frees at the end. `cancel` is the cancel of the job the check runs for. Returns the
// request's Result: WebOk when CloverLastRev holds the found revision.
int32_t RunRevisionCheck(int32_t clearBusy, const std::atomic<int32_t>& cancel);

// RunRevisionCheck as a worker thread's procedure of its own (the argument is clearBusy), with
// the download slot's own cancel, DownloadAbortRequested.
void RevisionCheckJob(int clearBusy);

}  // namespace vu
