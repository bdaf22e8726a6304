// The crash report: any unhandled fault ends in one message box that describes it, then the
// process ends. Installed as the first statement of the program.
#pragma once
#include <string>

#include "platform/crash.h"

namespace vu {

void InstallCrashHandler();
// The report's text, lines ending in a single CR.
std::string CrashReportText(const plat::FaultRecord& fault);
// Puts back the registry values armed for a fault (the AutoRun policy), shows the report and ends
// the process with exit code 0.
[[noreturn]] void ShowCrashReport(const plat::FaultRecord& fault);

}  // namespace vu
