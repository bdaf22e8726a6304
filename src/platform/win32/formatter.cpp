// The formatter on Windows: "FormatEx" of "fmifs.dll", loaded for each call.
#include <windows.h>

#include "platform/formatter.h"
#include "platform/win32/wide.h"

namespace vu::plat {

namespace {

using FormatExCallback = BOOLEAN(__stdcall*)(DWORD command, DWORD subAction, PVOID argument);
using FormatExFunction = void(__stdcall*)(PWCHAR drive, DWORD mediaType, PWCHAR fileSystem, PWCHAR label,
                                          BOOL quick, DWORD clusterSize, FormatExCallback callback);

// FormatEx calls back on the calling thread, so one program callback per thread is enough.
thread_local FormatCallback programCallback = nullptr;

BOOLEAN __stdcall Trampoline(DWORD command, DWORD subAction, PVOID argument) {
    return programCallback(command, subAction, argument) ? TRUE : FALSE;
}

}  // namespace

FormatterRun RunFormatter(const std::string& volume, uint32_t mediaType, const std::string& fileSystem,
                          const std::string& label, bool quick, uint32_t clusterSize, FormatCallback callback) {
    HMODULE library = LoadLibraryW(L"fmifs.dll");
    if (!library) return FormatterRun::NoLibrary;
    auto formatEx = reinterpret_cast<FormatExFunction>(reinterpret_cast<void*>(GetProcAddress(library, "FormatEx")));
    if (!formatEx) {
        FreeLibrary(library);
        return FormatterRun::NoEntryPoint;
    }
    std::wstring wideVolume = Widen(volume), wideFileSystem = Widen(fileSystem), wideLabel = Widen(label);
    programCallback = callback;
    formatEx(wideVolume.data(), mediaType, wideFileSystem.data(), wideLabel.data(), quick ? TRUE : FALSE, clusterSize,
             Trampoline);
    programCallback = nullptr;
    FreeLibrary(library);
    return FormatterRun::Ran;
}

}  // namespace vu::plat
