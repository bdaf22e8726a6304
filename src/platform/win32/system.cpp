// The seam's process and system facts over kernel32, user32 and shell32. Callable from any thread.
#include <windows.h>

#include <shellapi.h>

#include <mutex>

#include "platform/system.h"
#include "platform/win32/com_apartment.h"
#include "platform/win32/wide.h"

namespace vu::plat {

namespace {
// The handle of a semaphore that turned out to exist already, until CloseInstanceSemaphore.
HANDLE foundSemaphore = nullptr;
std::mutex semaphoreLock;
}  // namespace

std::string ExecutablePath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
        if (length == 0) return "";
        if (length < buffer.size()) return Narrow(buffer.data(), length);
        buffer.resize(buffer.size() * 2);  // truncated: try again with room for a long path
    }
}

std::string SystemDirectory() {
    wchar_t buffer[MAX_PATH + 1];
    UINT length = GetSystemDirectoryW(buffer, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) return "";
    return Narrow(buffer, length);
}

std::string TempDirectory() {
    wchar_t buffer[MAX_PATH + 2];
    DWORD length = GetTempPathW(MAX_PATH + 2, buffer);
    if (length == 0 || length > MAX_PATH + 1) return "";
    return Narrow(buffer, length);
}

// The first instance keeps its handle open for the life of the process: the semaphore lives as
// long as that handle.
SemaphoreResult CreateInstanceSemaphore(const std::string& name) {
    HANDLE handle = CreateSemaphoreW(nullptr, 0, 1, Widen(name).c_str());
    if (!handle) return SemaphoreResult::Failed;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        std::lock_guard<std::mutex> l(semaphoreLock);
        foundSemaphore = handle;
        return SemaphoreResult::AlreadyExists;
    }
    return SemaphoreResult::Created;
}

void CloseInstanceSemaphore() {
    std::lock_guard<std::mutex> l(semaphoreLock);
    if (foundSemaphore) CloseHandle(foundSemaphore);
    foundSemaphore = nullptr;
}

std::string SystemMessageText(uint32_t errorCode) {
    wchar_t buffer[4096];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, errorCode,
                                  0, buffer, 4096, nullptr);
    return Narrow(buffer, length);
}

uint32_t SystemColorRgb(int which) { return GetSysColor(which); }

bool ShellOpen(const std::string& target) {
    EnsureComApartment();
    auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, nullptr, Widen(target).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
}

// RtlGetVersion tells the truth where GetVersionEx is shimmed to the manifest's newest system.
bool IsWindows7OrLater() {
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    auto rtlGetVersion = ntdll ? reinterpret_cast<RtlGetVersionFn>(
                                     reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                               : nullptr;
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!rtlGetVersion || rtlGetVersion(&info) != 0) return false;
    return info.dwMajorVersion > 6 || (info.dwMajorVersion == 6 && info.dwMinorVersion >= 1);
}

bool RunsUnderWow64() {
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto isWow64 = kernel ? reinterpret_cast<IsWow64ProcessFn>(
                                reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")))
                          : nullptr;
    BOOL wow64 = FALSE;
    return isWow64 && isWow64(GetCurrentProcess(), &wow64) && wow64;
}

bool Is64BitWindows() { return sizeof(void*) == 8 || RunsUnderWow64(); }

LocalDateTime LocalNow() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

int SystemMetric(int index) { return GetSystemMetrics(index); }

// LCIDToLocaleName is missing before Vista, hence the lookup by name.
std::optional<std::string> UserLocaleNameFromSystem() {
    using LcidToLocaleNameFn = int(WINAPI*)(LCID, LPWSTR, int, DWORD);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (!kernel) return std::nullopt;
    auto convert = reinterpret_cast<LcidToLocaleNameFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "LCIDToLocaleName")));
    if (!convert) return std::nullopt;
    wchar_t name[85];
    // The shell's localized strings follow the language of the user interface, which may differ
    // from the regional format (an English Windows with German dates).
    int length = convert(MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT), name, 85, 0);
    if (length <= 1) return std::nullopt;
    return Narrow(name, size_t(length - 1));
}

std::optional<std::string> LoadResourceString(const std::string& file, int id, int maxChars) {
    HMODULE module = LoadLibraryExW(Widen(file).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) return std::nullopt;
    std::wstring buffer(size_t(maxChars > 0 ? maxChars : 1) + 1, L'\0');
    int length = LoadStringW(module, UINT(id), buffer.data(), int(buffer.size()));
    FreeLibrary(module);
    if (length <= 0) return std::nullopt;
    return Narrow(buffer.data(), size_t(std::min(length, maxChars)));
}

}  // namespace vu::plat
