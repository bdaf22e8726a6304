// The unhandled-fault handler of the Windows program. A fault in any thread lands in the
// process's unhandled-exception filter, which only wakes a report thread made at installation
// and waits: the faulting thread may have no stack left (a stack overflow) or may own the
// program's windows. The report thread first puts back the registry values armed for a fault
// (the AutoRun policy), through keys opened at start and without allocating, then describes the
// fault, finds its source position in the line tables that the compiler left in our own
// executable file, and calls the reporter, which shows the box and ends the process.
//
// The faulting thread may hold the heap's or the loader's lock, and the report allocates: a
// watchdog thread, also made at installation, ends the process when the box has not come up in
// ten seconds, so that a report that hangs does not keep the program's disks locked. The process
// ends with TerminateProcess, which runs no library's clean-up that could wait for such a lock.
// Nothing runs or is recorded until a fault happens.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/common/debug_lines.h"
#include "platform/common/pe_image.h"
#include "platform/crash.h"
#include "platform/registry.h"
#include "platform/win32/wide.h"

namespace vu::plat {

namespace {

FaultReporter g_reporter = nullptr;
HANDLE g_wake = nullptr;
HANDLE g_faultSeen = nullptr;    // manual reset: the watchdog starts counting
HANDLE g_boxShowing = nullptr;   // manual reset: the report got as far as its box
constexpr DWORD kReportTimeoutMs = 10000;
DWORD g_reportThreadId = 0;
LONG volatile g_faulted = 0;
EXCEPTION_POINTERS* g_pointers = nullptr;
uintptr_t g_stackLow = 0, g_stackHigh = 0;  // the faulting thread's committed stack

// What is known before the source position is looked for, so that a fault during the look-up
// can still be reported.
FaultRecord g_plainRecord;
enum class Stage : LONG { Idle, LookingUp, Reporting };
Stage volatile g_stage = Stage::Idle;

constexpr int kMaxFrames = 48;
constexpr size_t kMaxStackWords = 16384;

FaultRecord Describe(const EXCEPTION_POINTERS& pointers) {
    const EXCEPTION_RECORD& exception = *pointers.ExceptionRecord;
    const CONTEXT& c = *pointers.ContextRecord;
    FaultRecord fault;
    fault.code = exception.ExceptionCode;
    fault.codeAddress = reinterpret_cast<uintptr_t>(exception.ExceptionAddress);
    if (exception.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && exception.NumberParameters >= 2) {
        fault.targetAddress = exception.ExceptionInformation[1];
    }
#if defined(__x86_64__)
    const DWORD64 registers[8] = {c.Rax, c.Rbx, c.Rcx, c.Rdx, c.Rbp, c.Rsi, c.Rdi, c.Rsp};
#else
    const DWORD registers[8] = {c.Eax, c.Ebx, c.Ecx, c.Edx, c.Ebp, c.Esi, c.Edi, c.Esp};
#endif
    std::copy(std::begin(registers), std::end(registers), fault.registers);
    return fault;
}

// ---- Our image and its line tables ---------------------------------------------------------

struct CodeRange {
    uintptr_t begin = 0, end = 0;
};

struct OwnImage {
    uintptr_t base = 0;  // where it is loaded (relocated by ASLR)
    std::vector<CodeRange> code;
    bool Contains(uintptr_t address, size_t before = 0) const {
        for (const auto& range : code) {
            if (address >= range.begin + before && address < range.end) return true;
        }
        return false;
    }
};

OwnImage LoadedImage() {
    OwnImage image;
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(GetModuleHandleW(nullptr));
    image.base = reinterpret_cast<uintptr_t>(dos);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image.base + dos->e_lfanew);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    for (unsigned i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        if (section->Characteristics & IMAGE_SCN_MEM_EXECUTE) {
            uintptr_t begin = image.base + section->VirtualAddress;
            image.code.push_back({begin, begin + section->Misc.VirtualSize});
        }
    }
    return image;
}

struct LineTables {
    std::string line, lineStr, str;
    uint64_t linkedBase = 0;  // the image base the tables' addresses assume
};

bool ReadOwnLineTables(LineTables& tables) {
    std::wstring path(32768, L'\0');
    DWORD length = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
    if (length == 0 || length >= path.size()) return false;
    path.resize(length);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    ReadAt read = [file](uint64_t offset, void* buffer, size_t size) {
        if (size > MAXDWORD) return false;
        OVERLAPPED at{};
        at.Offset = DWORD(offset);
        at.OffsetHigh = DWORD(offset >> 32);
        DWORD got = 0;
        return ReadFile(file, buffer, DWORD(size), &got, &at) && got == size;
    };
    auto image = ReadPeImage(read);
    if (image) {
        tables.linkedBase = image->imageBase;
        tables.line = ReadPeSection(read, *image, ".debug_line");
        tables.lineStr = ReadPeSection(read, *image, ".debug_line_str");
        tables.str = ReadPeSection(read, *image, ".debug_str");
    }
    CloseHandle(file);
    return !tables.line.empty();
}

// The folder of our own sources, from this file's path as the compiler saw it; a position in
// it is preferred over one in a library header or the runtime's sources.
std::string SourceTreePrefix() {
    std::string self = __FILE__;
    std::replace(self.begin(), self.end(), '\\', '/');
    const std::string tail = "src/platform/win32/crash_handler.cpp";
    if (!self.ends_with(tail) || self.size() == tail.size()) return {};
    return self.substr(0, self.size() - tail.size());
}

// ---- Finding the frames ----------------------------------------------------------------------

// A return address is preceded by a call: E8 rel32, or FF /2 in one of its operand forms.
bool FollowsCall(const OwnImage& image, uintptr_t address) {
    if (!image.Contains(address, 7)) return false;
    auto byte = [&](size_t back) { return *reinterpret_cast<const uint8_t*>(address - back); };
    if (byte(5) == 0xE8) return true;
    for (size_t length : {2, 3, 4, 6, 7}) {
        if (byte(length) == 0xFF && ((byte(length - 1) >> 3) & 7) == 2) return true;
    }
    return false;
}

// Code addresses of the fault and of its callers, innermost first. Return addresses are moved
// back by one byte onto the call instruction, whose line is the one wanted.
std::vector<uintptr_t> FrameAddresses(const EXCEPTION_POINTERS& pointers, const OwnImage& image) {
    std::vector<uintptr_t> frames{reinterpret_cast<uintptr_t>(pointers.ExceptionRecord->ExceptionAddress)};
    uintptr_t stackPointer = 0;
#if defined(__x86_64__)
    // The unwind tables walk the frames exactly, through the system's libraries too.
    CONTEXT context = *pointers.ContextRecord;
    stackPointer = context.Rsp;
    for (int i = 0; i < kMaxFrames; ++i) {
        DWORD64 moduleBase = 0;
        PRUNTIME_FUNCTION function = RtlLookupFunctionEntry(context.Rip, &moduleBase, nullptr);
        if (function) {
            void* handlerData = nullptr;
            DWORD64 establisher = 0;
            RtlVirtualUnwind(UNW_FLAG_NHANDLER, moduleBase, context.Rip, function, &context, &handlerData,
                             &establisher, nullptr);
        } else {
            // A leaf function, or a call to a bad address: the return address is on top.
            if (context.Rsp < g_stackLow || context.Rsp + 8 > g_stackHigh) break;
            context.Rip = *reinterpret_cast<const DWORD64*>(context.Rsp);
            context.Rsp += 8;
        }
        if (context.Rip == 0 || context.Rsp < g_stackLow || context.Rsp > g_stackHigh) break;
        frames.push_back(uintptr_t(context.Rip) - 1);
    }
    if (frames.size() > 1) return frames;
#else
    stackPointer = pointers.ContextRecord->Esp;
#endif
    // No unwind tables on 32-bit x86 (and the frame pointer is not kept): take the words on the
    // stack that look like return addresses into our code.
    if (stackPointer < g_stackLow || stackPointer > g_stackHigh) return frames;
    size_t words = std::min<size_t>((g_stackHigh - stackPointer) / sizeof(uintptr_t), kMaxStackWords);
    const uintptr_t* stack = reinterpret_cast<const uintptr_t*>(stackPointer);
    for (size_t i = 0; i < words && frames.size() < size_t(kMaxFrames); ++i) {
        if (FollowsCall(image, stack[i])) frames.push_back(stack[i] - 1);
    }
    return frames;
}

void FindSourcePosition(const EXCEPTION_POINTERS& pointers, FaultRecord& fault) {
    LineTables tables;
    if (!ReadOwnLineTables(tables)) return;
    OwnImage image = LoadedImage();
    const DebugLineSections sections{tables.line, tables.lineStr, tables.str};
    const std::string ours = SourceTreePrefix();
    SourceLine fallback;
    for (uintptr_t address : FrameAddresses(pointers, image)) {
        if (!image.Contains(address)) continue;
        SourceLine found = FindSourceLine(sections, address - image.base + tables.linkedBase);
        if (found.line < 0) continue;
        std::replace(found.file.begin(), found.file.end(), '\\', '/');
        if (ours.empty() || found.file.starts_with(ours)) {
            fallback = found;
            break;
        }
        if (fallback.line < 0) fallback = found;
    }
    if (fallback.line >= 0) {
        fault.sourceFile = fallback.file;
        fault.sourceLine = fallback.line;
    }
}

// ---- The two threads -------------------------------------------------------------------------

[[noreturn]] void Report(const EXCEPTION_POINTERS& pointers) {
    RunRegistryFaultRestores();
    g_plainRecord = Describe(pointers);
    FaultRecord fault = g_plainRecord;
    g_stage = Stage::LookingUp;
    FindSourcePosition(pointers, fault);
    g_stage = Stage::Reporting;
    g_reporter(fault);
    ExitProcessNow(0);
}

DWORD WINAPI ReportThread(void*) {
    WaitForSingleObject(g_wake, INFINITE);
    Report(*g_pointers);
}

DWORD WINAPI WatchdogThread(void*) {
    WaitForSingleObject(g_faultSeen, INFINITE);
    if (WaitForSingleObject(g_boxShowing, kReportTimeoutMs) == WAIT_TIMEOUT) {
        RunRegistryFaultRestores();
        ExitProcessNow(0);
    }
    return 0;
}

// A thread of its own, made now: after a fault no thread can be made without the loader's lock.
HANDLE StartThread(LPTHREAD_START_ROUTINE routine, SIZE_T stack, DWORD* id) {
    return CreateThread(nullptr, stack, routine, nullptr, STACK_SIZE_PARAM_IS_A_RESERVATION, id);
}

// The thread's information block through its Self field (what NtCurrentTeb reads, without the
// header's inline function that trips GCC's array-bounds check).
const NT_TIB* CurrentThreadBlock() {
    NT_TIB* self = nullptr;
#if defined(__x86_64__)
    asm("movq %%gs:0x30, %0" : "=r"(self));
#else
    asm("movl %%fs:0x18, %0" : "=r"(self));
#endif
    return self;
}

LONG WINAPI OnUnhandledFault(EXCEPTION_POINTERS* pointers) {
    if (GetCurrentThreadId() == g_reportThreadId && g_reportThreadId != 0) {
        // The report itself faulted: once more without the source position, then give up.
        if (g_stage == Stage::LookingUp) {
            g_stage = Stage::Reporting;
            g_reporter(g_plainRecord);
        }
        ExitProcessNow(0);
    }
    // The first fault is reported; a later one in another thread waits for the process to end.
    if (InterlockedCompareExchange(&g_faulted, 1, 0) != 0) Sleep(INFINITE);
    const NT_TIB* tib = CurrentThreadBlock();
    g_stackLow = reinterpret_cast<uintptr_t>(tib->StackLimit);
    g_stackHigh = reinterpret_cast<uintptr_t>(tib->StackBase);
    g_pointers = pointers;
    if (g_faultSeen) SetEvent(g_faultSeen);
    if (g_reportThreadId == 0) Report(*pointers);  // no report thread could be made
    SetEvent(g_wake);
    Sleep(INFINITE);
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void InstallFaultHandler(FaultReporter reporter) {
    g_reporter = reporter;
    g_wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    DWORD id = 0;
    HANDLE thread = g_wake ? StartThread(ReportThread, 256 * 1024, &id) : nullptr;
    if (thread) {
        g_reportThreadId = id;
        CloseHandle(thread);
    }
    g_faultSeen = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g_boxShowing = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE watchdog = g_faultSeen && g_boxShowing ? StartThread(WatchdogThread, 64 * 1024, &id) : nullptr;
    if (watchdog) CloseHandle(watchdog);
    // Room for the exception dispatch on this thread when its stack overflows.
    ULONG guarantee = 16 * 1024;
    SetThreadStackGuarantee(&guarantee);
    SetUnhandledExceptionFilter(OnUnhandledFault);
}

void ShowFaultBox(const std::string& title, const std::string& text) {
    std::wstring wideText = Widen(text), wideTitle = Widen(title);
    if (g_boxShowing) SetEvent(g_boxShowing);
    MessageBoxW(nullptr, wideText.c_str(), wideTitle.c_str(), MB_OK | MB_SETFOREGROUND | MB_TOPMOST);
}

void ExitProcessNow(int code) {
    TerminateProcess(GetCurrentProcess(), UINT(code));
    ExitProcess(UINT(code));  // only if the process could not end itself
}

}  // namespace vu::plat
