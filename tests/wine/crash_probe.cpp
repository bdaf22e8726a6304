// A test-only Windows program around the crash report. With a fault name it installs the crash
// handler as the program does and faults on purpose; the lines marked "fault:" are where, and the
// Wine test expects the report to name them. With "read-box <title>" it waits for the message box
// of that title, prints its text, and presses its OK button.
//
//   crash_probe null-write | divide | memcpy-null
//   crash_probe heap-locked   (AutoRun switched off as the program does, then a fault in a thread
//                              that holds the lock of every heap: the report cannot allocate)
//   crash_probe read-box "OnError Info <crash_probe.exe>"
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "app/autorun_policy.h"
#include "app/crash_report.h"
#include "core/globals.h"

namespace {

int* volatile g_nowhere = nullptr;
volatile int g_zero = 0;
volatile size_t g_size = 64;

void NullWrite() {
    *g_nowhere = 1;  // fault: null-write
}

int Divide() {
    int quotient = 100 / g_zero;  // fault: divide
    return quotient;
}

void CopyToNull() {
    char source[64] = {};
    std::memcpy(g_nowhere, source, g_size);  // fault: memcpy-null
}

// As a fault inside the allocator leaves them: every heap of the process locked by this thread.
void FaultHoldingTheHeaps() {
    HANDLE heaps[64];
    DWORD count = GetProcessHeaps(64, heaps);
    for (DWORD i = 0; i < count && i < 64; ++i) HeapLock(heaps[i]);
    *g_nowhere = 1;
}

int ReadBox(const char* title) {
    std::wstring wide(title, title + std::strlen(title));
    HWND box = nullptr;
    for (int i = 0; i < 1200 && !box; ++i) {  // up to two minutes: Wine may still be starting
        box = FindWindowW(L"#32770", wide.c_str());
        if (!box) Sleep(100);
    }
    if (!box) {
        std::fprintf(stderr, "no message box titled \"%s\"\n", title);
        return 1;
    }
    Sleep(300);  // let the box finish its layout before it is read and pressed
    wchar_t text[4096] = {};
    GetWindowTextW(GetDlgItem(box, 0xFFFF), text, 4096);
    char utf8[16384] = {};
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
    std::fwrite(utf8, 1, std::strlen(utf8), stdout);
    std::fflush(stdout);
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    vu::InstallCrashHandler();
    vu::ReadProgramIdentity();
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "read-box" && argc > 2) return ReadBox(argv[2]);
    if (mode == "null-write") {
        std::thread worker(NullWrite);
        worker.join();
    } else if (mode == "divide") {
        std::printf("%d\n", Divide());
    } else if (mode == "memcpy-null") {
        std::thread worker(CopyToNull);
        worker.join();
    } else if (mode == "heap-locked") {
        vu::SwitchAutoRunOff();
        std::thread worker(FaultHoldingTheHeaps);
        worker.join();
    } else {
        std::fprintf(stderr, "usage: crash_probe null-write|divide|memcpy-null|heap-locked|read-box TITLE\n");
        return 2;
    }
    std::fprintf(stderr, "no fault happened\n");
    return 3;
}
