// The HFS image of a Recovery HD package, unpacked in process: the package (a xar archive,
// "RecoveryHDUpdate.pkg"; a file that reads as a disk image, such as the installer products'
// "RecoveryHDMetaDmg.pkg", is taken as its content) holds RecoveryHDMeta.dmg, whose HFS+ volume
// holds BaseSystem.dmg (and BaseSystem.chunklist, which it is checked against when present; either
// may be stored compressed), whose HFS partition is the Recovery HD. That partition becomes
// "RecoveryHD-<build>.hfs" in the image folder (recovery_image_file.h), with " (2)", " (3)", ...
// when the name is taken, so an earlier image is never replaced.
//
// Runs on the calling worker thread (the Download Center's, after its download), drawing its
// steps on the status bar; AbortRequested cancels it.
#pragma once
#include <string>

#include "tools/recovery_image_file.h"

namespace vu {

// `build` names the image; "" takes the build its volume names. `workFolder` (ending in "\") receives the intermediate files, which are all removed again on
// every outcome; `imageFolder` receives the image. Only a complete image is ever left there.
RecoveryHdExtraction ExtractRecoveryHdPackage(const std::string& packagePath, const std::string& build,
                                              const std::string& workFolder, const std::string& imageFolder);

}  // namespace vu
