// The Recovery HD package chosen in the Download Center, and the job that downloads it into the
// working folder. The HFS extraction that follows (Ops.downloadRecoveryHd, started by "DL" with
// the entry's line in the list) takes the entry with ChosenRecoveryEntry, runs this job under the
// download slot and unpacks the package.
#pragma once
#include <cstdint>
#include <string>

#include "net/recovery_list.h"

namespace vu {

// The entry "DL" chose: Title, Url, and for a catalog entry Size, Build, Digest, PostDate and the
// rest as the last update found them.
void SetChosenRecoveryEntry(const RecoveryEntry& entry);
RecoveryEntry ChosenRecoveryEntry();

constexpr const char* RecoveryPackageName = "RecoveryHD.pkg";

// Downloads the entry's package (moved onto VU_APPLE_HOST when that is set) into
// `folder` + "RecoveryHD.pkg" with the standard callbacks, resuming up to `maxAttempts` times, and
// stopped by AbortRequested (the Download Center's "Cancel DL"). A
// package whose length differs from the entry's Size (when the entry has one) is a failed download
// (WebFileWriteError), reported and deleted. Returns the DownloadResult. The caller holds the
// download slot and the working folder (`folder` ends in "\").
int32_t RunRecoveryDownload(const RecoveryEntry& entry, const std::string& folder, int32_t maxAttempts);

}  // namespace vu
