// The crash report; see crash_report.h. Runs on whichever thread faulted.
#include "app/crash_report.h"

#include "core/globals.h"
#include "platform/registry.h"
#include "platform/system.h"

namespace vu {

namespace {

const char* FaultMessage(uint32_t code) {
    switch (code) {
        case 0xC0000005: return "Invalid memory access";
        case 0xC000008C: return "Array bounds exceeded";
        case 0x80000003: return "Debugger breakpoint reached";
        case 0x80000002: return "Misaligned data access";
        case 0xC000008D: return "Denormal floating-point operand";
        case 0xC000008E: return "Division by zero (floating-point)";
        case 0xC000008F: return "Inexact floating-point result";
        case 0xC0000090: return "Invalid floating-point operation";
        case 0xC0000091: return "Floating-point overflow (exponent to great)";
        case 0xC0000092: return "Floating-point stack overflow or underflow";
        case 0xC0000093: return "Floating-point underflow (exponent too small)";
        case 0xC000001D: return "Illegal instruction";
        case 0xC0000006: return "Memory page error";
        case 0xC0000094: return "Division by zero ";
        case 0xC0000095: return "Integer overflow";
        case 0xC0000026: return "Exception handler returned unknown value";
        case 0xC0000025: return "Exception handler tried to continue after non-continuable exception";
        case 0xC0000096: return "Privileged instruction";
        case 0x80000004: return "Single step trap";
        case 0xC00000FD: return "Stack overflow";
        default: return "Unknown error code";
    }
}

// Numbers are shown as the signed decimal of their low 32 bits.
std::string Signed32(uint64_t value) { return std::to_string(int32_t(uint32_t(value))); }

}  // namespace

std::string CrashReportText(const plat::FaultRecord& fault) {
    std::string text = "A program error was detected:\r\r";
    text += std::string("Error Message:\t") + FaultMessage(fault.code) + "\r";
    text += "Error Code:\t" + Signed32(fault.code) + "\r";
    text += "Code Address:\t" + Signed32(fault.codeAddress) + "\r";
    if (fault.code == 0xC0000005) text += "Target Address:\t" + Signed32(fault.targetAddress) + "\r";
    if (fault.sourceLine == -1) {
        text += "Sourcecode line: Enable OnError lines support to get code line information.\r";
    } else {
        auto slash = fault.sourceFile.find_last_of("\\/");
        text += "Source Code file:\t" + fault.sourceFile.substr(slash == std::string::npos ? 0 : slash + 1) + "\r";
        text += "Sourcecode line:\t" + std::to_string(fault.sourceLine) + "\r";
    }
    text += "\rRegister content:\r";
    static const char* const kNames[8] = {"EAX", "EBX", "ECX", "EDX", "EBP", "ESI", "EDI", "ESP"};
    for (int i = 0; i < 8; ++i) text += std::string(kNames[i]) + " = \t" + Signed32(fault.registers[i]) + "\r";
    return text;
}

void ShowCrashReport(const plat::FaultRecord& fault) {
    // Before the box, through the keys opened at start and without allocating: the faulting
    // thread may hold the heap's lock, and a user who ends the process from the task manager
    // instead of pressing OK must not be left with AutoRun off.
    plat::RunRegistryFaultRestores();
    // A fault early in start-up comes before the program's identity is read.
    std::string name = ProgramFileName;
    if (name.empty()) {
        name = plat::ExecutablePath();
        name.erase(0, name.find_last_of("\\/") + 1);
    }
    plat::ShowFaultBox("OnError Info <" + name + ">", CrashReportText(fault));
    plat::ExitProcessNow(0);
}

void InstallCrashHandler() { plat::InstallFaultHandler(ShowCrashReport); }

}  // namespace vu
