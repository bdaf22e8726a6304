// The simulated PC has no faults to catch: the native tests build crash reports from records.
// Its fault box is an ordinary simulated message box, so tests read it back the same way.
#include <cstdlib>

#include "platform/crash.h"
#include "platform/gui.h"

namespace vu::plat {

void InstallFaultHandler(FaultReporter) {}

void ShowFaultBox(const std::string& title, const std::string& text) { MessageBox(title, text, MbOk); }

void ExitProcessNow(int code) { std::_Exit(code); }

}  // namespace vu::plat
