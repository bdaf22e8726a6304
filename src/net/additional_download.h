// The download of an item of the download lists into the Clover local repository, in the item's
// Catalog sub-folder when it names one, on a worker thread that holds OperationBusy while the main
// window's "DL Center" button reads "Cancel DL" (which sets AbortRequested, the job's cancel).
//
// The lists come from the network, so what they name is checked before anything is written: a
// Catalog must stay inside the repository (no "..", no absolute path, no drive letter, no UNC
// path) and every name on the way, the file's own included, must be one Windows can store. A
// digest in the item (MD5DIGEST: 32 hexadecimal digits for MD5, 40 for SHA-1) is checked once the
// body is complete, before it replaces an earlier file of the same name: a body that does not
// match it is deleted and the earlier file stays.
#pragma once
#include <cstdint>
#include <string>

#include "core/settings.h"
#include "net/download_lists.h"

namespace vu {

// The folder `catalog` names below the repository, as "Kexts\Net\" ("" for none); false when it
// would leave the repository or holds a name Windows cannot store. "/" counts as "\".
bool CatalogFolder(const std::string& catalog, std::string& folder);

// The name the URL's file part gives a saved file: the text after the last "/" of the address
// without its query and fragment.
std::string UrlFileName(const std::string& url);

// True for a name Windows can give a file or folder: not empty, none of the characters
// <>:"/\|?* or control characters, no trailing dot or blank, no device name (CON, NUL, COM1, ...).
bool IsStorableName(const std::string& name);

struct AdditionalDownload {
    int32_t result = 0;    // the download's DownloadResult; WebBadParameters when refused
    std::string fileName;  // the target, written only on WebOk
};

// The download job: the item's URL into the settings' repository (+ Catalog) + the URL's file
// name, with the standard callbacks and the digest check; a refused Catalog or file name is
// reported in a box and nothing is written. The caller holds the download slot.
AdditionalDownload RunAdditionalDownload(const AdditionalEntry& entry, const SettingsRecord& settings);

// The worker procedure: marks the operation busy, runs the job when no other download runs and
// shows the summary. 1 on success, 0 otherwise.
int32_t DownloadAdditionalItem(const AdditionalEntry& entry, const SettingsRecord& settings);

// The text of the summary box.
std::string DownloadSummaryText(const AdditionalEntry& entry, const std::string& repository);

// The entry "DL" chose, and the worker that downloads it (its argument is the entry's line).
void SetChosenAdditionalEntry(const AdditionalEntry& entry);
void DownloadAdditionalJob(int line, const SettingsRecord& settings);

}  // namespace vu
