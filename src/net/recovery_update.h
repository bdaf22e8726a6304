// The Recovery HD list update: Apple's catalogs are fetched in a fixed series (and the user's
// catalog when the settings name one), the packages whose URL contains "RecoveryHD" are picked
// out, each package's metadata (or its distribution file) gives its build, and the finished list
// replaces RecoveryList; the main thread then shows it in the Download Center and writes it with
// the settings.
//
// Runs on its own worker thread, holding the download slot, whose cancel (DownloadAbortRequested)
// is its own: a stopped update keeps the list it would have replaced. Each failure shows its text
// on the status bar (a malformed document a box) and ends only the current catalog's pass.
#pragma once
#include <string>
#include <vector>

#include "core/settings.h"
#include "net/recovery_list.h"

namespace vu {

struct CatalogSource {
    const char* kind;  // the label of the progress text: "Download " + kind
    const char* path;  // on Apple's catalog host
};
// The five catalogs of every update, in order.
const std::vector<CatalogSource>& CatalogSeries();

// The worker procedure: the series, then the settings' SUCatalogURL_User_Added when set.
void UpdateRecoveryList(const SettingsRecord& settings);

// One catalog's pass: its Recovery HD packages are added to `list`, and every entry of `list` is
// examined for its build and titled anew. `kind` labels its progress ("Download " + kind). An
// empty address does nothing.
void ScanCatalog(const std::string& url, const std::string& kind, std::vector<RecoveryEntry>& list);

// Replaces RecoveryList by the finished list (see FinishedRecoveryEntries), the built-in entries
// and one entry per macOS of Apple's recovery server added, and asks the main thread to refill the
// Download Center's list and to write the settings.
void FinishRecoveryList(std::vector<RecoveryEntry> list);

}  // namespace vu
