// The seam's unhandled-fault handling: the platform catches a fault in any thread, describes it
// in a FaultRecord (with the source position it finds for it) and hands it to the program's
// reporter, which never returns.
#pragma once
#include <cstdint>
#include <string>

namespace vu::plat {

struct FaultRecord {
    uint32_t code = 0;            // the platform's exception code, e.g. 0xC0000005
    uint64_t codeAddress = 0;     // the faulting instruction
    uint64_t targetAddress = 0;   // the accessed address, for an access violation
    // EAX, EBX, ECX, EDX, EBP, ESI, EDI, ESP (or the nearest registers of another processor).
    uint64_t registers[8] = {};
    std::string sourceFile;       // the source position of the fault, "" when unknown
    int sourceLine = -1;
};

using FaultReporter = void (*)(const FaultRecord& fault);

void InstallFaultHandler(FaultReporter reporter);
// Shows the report in a message box with only an OK button and waits until it is closed. It
// stands apart from the window layer: the faulting thread may hold that layer's state, and the
// main thread, which owns the program's windows, may be the one that faulted.
void ShowFaultBox(const std::string& title, const std::string& text);
// Ends the process at once, without the runtime's or the libraries' clean-up, which could wait for
// a lock the faulting thread holds and keep the program's disks locked meanwhile.
[[noreturn]] void ExitProcessNow(int code);

}  // namespace vu::plat
