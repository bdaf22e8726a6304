// The simulated PC has no faults to catch: the native tests build crash reports from records.
#include <cstdlib>

#include "platform/crash.h"

namespace vu::plat {

void InstallFaultHandler(FaultReporter) {}

void ExitProcessNow(int code) { std::exit(code); }

}  // namespace vu::plat
