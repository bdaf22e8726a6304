// The last step of every Recovery HD download: the HFS partition of BaseSystem.dmg written into
// the image folder and named after the macOS build it holds. The partition is written under a
// temporary name first; its volume's /System/Library/CoreServices/SystemVersion.plist then gives
// the build and version (ProductBuildVersion, ProductVersion), and the file becomes
// "RecoveryHD-<build>.hfs", with " (2)", " (3)", ... when that name is taken. A run that fails or
// is cancelled leaves no file of its own, and an earlier image is never replaced.
//
// Runs on the operation's worker thread, drawing its progress on the status bar; AbortRequested
// cancels it.
#pragma once
#include <string>

#include "tools/byte_io.h"

namespace vu {

struct RecoveryHdExtraction {
    enum Outcome { Done, Failed, Cancelled } outcome = Failed;
    std::string imagePath;  // Done: the image written
    std::string error;      // Failed: what went wrong, naming the file
    // Done: what the volume says it holds ("23G80", "14.6.1"); empty when it does not say.
    std::string build, version;
};

// The build and version of the macOS whose recovery volume `volume` (an HFS+ partition) is.
bool ReadSystemVersion(ByteSource& volume, std::string& build, std::string& version, std::string& error);

// Writes the largest HFS partition of the disk image `dmgPath` into `imageFolder` (ending in "\")
// after checking that the folder has room for it. The name's build is `build`, or the volume's
// own when `build` is empty ("RecoveryHD.hfs" when the volume does not say either).
RecoveryHdExtraction WriteRecoveryImage(const std::string& dmgPath, const std::string& imageFolder,
                                        const std::string& build);

// "RecoveryHD-16G29": the build's letters, digits, dots and dashes only (it comes from the web
// or from the image); "RecoveryHD" when none are left.
std::string RecoveryImageStem(const std::string& build);

}  // namespace vu
