// The Recovery HD list update: Apple's catalogs are fetched in a fixed series (and the user's
// catalog when the settings name one), the packages whose URL contains "RecoveryHD" are picked
// out, each package's metadata (or its distribution file) gives its build, and the finished list
// replaces RecoveryList, is shown in the Download Center and is written with the settings.
//
// Runs on its own worker thread, holding the download slot; each failure shows its text on the
// status bar (a malformed document a box) and ends only the current catalog's pass.
#pragma once
#include <string>
#include <vector>

#include "net/recovery_list.h"

namespace vu {

struct CatalogSource {
    const char* kind;  // the label of the progress text: "Download " + kind
    const char* path;  // on Apple's catalog host
};
// The five catalogs of every update, in order.
const std::vector<CatalogSource>& CatalogSeries();

// The label of a catalog address: the kind of the series (or WINDOWS) whose address it is,
// "User_Added" for the user's catalog, "SUCatalog" for any other.
std::string CatalogKind(const std::string& url);

// The worker procedure.
void UpdateRecoveryList();

// One catalog's pass: its Recovery HD packages are added to `list`, and every entry of `list` is
// examined for its build and titled anew. An empty address does nothing.
void ScanCatalog(const std::string& url, std::vector<RecoveryEntry>& list);

// Replaces RecoveryList by the finished list (see FinishedRecoveryEntries), the built-in entries
// and one entry per macOS of Apple's recovery server added, refills the Download Center's list
// while it is open and writes the settings.
void FinishRecoveryList(std::vector<RecoveryEntry> list);

}  // namespace vu
