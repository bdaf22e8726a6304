// The seam's process and system facts: paths, the single-instance semaphore, system messages,
// colours, the shell's default handler and the platform version. Callable from any thread.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace vu::plat {

std::string ExecutablePath();     // full path of the running executable
std::string SystemDirectory();    // the Windows system directory, "" when it cannot be read
std::string TempDirectory();      // the user's temporary folder, "" when there is none

// Creates the named semaphore (initial count 0, maximum 1) that keeps a second copy out.
enum class SemaphoreResult { Created, AlreadyExists, Failed };
SemaphoreResult CreateInstanceSemaphore(const std::string& name);
// Closes the handle of a semaphore that was found to exist already.
void CloseInstanceSemaphore();

// The system's message text for an error code as the formatter returns it (with its line break),
// or "" when there is none.
std::string SystemMessageText(uint32_t errorCode);

enum SystemColor : int { ColorWindow = 5, ColorButtonFace = 15 };
uint32_t SystemColorRgb(int which);  // 0x00BBGGRR as Windows keeps colours

// Opens a file or an address with the system's default handler; false when that failed.
bool ShellOpen(const std::string& target);

bool IsWindows7OrLater();

// 64-bit Windows, whether this process is a 64-bit one or a 32-bit one under WOW64.
bool Is64BitWindows();
// A 32-bit process on 64-bit Windows (IsWow64Process, looked up in kernel32 at run time): the
// system redirects its file access in the system folder to SysWOW64.
bool RunsUnderWow64();
// The local date and time (GetLocalTime).
struct LocalDateTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
LocalDateTime LocalNow();

enum SystemMetricIndex : int { MetricCxVScroll = 2, MetricCxEdge = 45 };
int SystemMetric(int index);  // GetSystemMetrics

// The locale name of the user's interface language (GetUserDefaultUILanguage, named through
// LCIDToLocaleName, looked up at run time), which picks the folder of the localized resource
// files; nullopt when the library, the function or the call fails.
std::optional<std::string> UserLocaleNameFromSystem();

// A string of a resource file (the localized shell32.dll.mui); nullopt when the file or the
// string is missing. At most maxChars characters.
std::optional<std::string> LoadResourceString(const std::string& file, int id, int maxChars);

}  // namespace vu::plat
