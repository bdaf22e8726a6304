// Process-wide state; see globals.h.
#include "core/globals.h"

#include <cstdio>

#include "platform/system.h"

namespace vu {

std::atomic<int32_t> OperationBusy{0};
std::atomic<int32_t> AbortRequested{0};
std::atomic<int32_t> FormatFailed{0};
std::atomic<intptr_t> DownloadBusy{0};
std::atomic<int32_t> DownloadAbortRequested{0};
std::atomic<int32_t> QuitRequested{0};
std::atomic<int32_t> QuitWhenStopped{0};

std::string ProgramPath, ProgramFileName, ProgramBaseName, ProgramFolder;
std::string SystemFolder, SystemDriveLetter;

namespace {
std::string BuildVersionText() {
    char build[8];
    std::snprintf(build, sizeof build, "%03d", 22);
    return std::string("v2.1.") + build + " Beta";
}
}  // namespace

const std::string VersionText = BuildVersionText();
const std::string AboutText = "Velloran Utility by Ossen \r\n" + VersionText +
                              " \r\n" "Made by the Velloran Utility developers" "\r\n\r\nFor active development:";

const std::string ExplorerPoliciesKey =
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
const std::string AppleHfsServiceKey = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\services\\AppleHFS";
const std::string AppleMntServiceKey = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\services\\AppleMNT";

void ReadProgramIdentity() {
    ProgramPath = plat::ExecutablePath();
    auto slash = ProgramPath.find_last_of("\\/");
    ProgramFolder = slash == std::string::npos ? "" : ProgramPath.substr(0, slash + 1);
    ProgramFileName = slash == std::string::npos ? ProgramPath : ProgramPath.substr(slash + 1);
    // The extension and its dot are the last four characters.
    ProgramBaseName = ProgramFileName.size() >= 4 ? ProgramFileName.substr(0, ProgramFileName.size() - 4) : "";
    SystemFolder = plat::SystemDirectory();
    if (SystemFolder.size() > 260) SystemFolder.resize(260);
    SystemDriveLetter = SystemFolder.empty() ? "" : SystemFolder.substr(0, 1);
}

}  // namespace vu
