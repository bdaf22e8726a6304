// The simulated PC's process and system facts.
#include <algorithm>
#include <ctime>
#include <map>
#include <mutex>

#include "platform/sim/sim.h"
#include "platform/sim/sim_state.h"
#include "platform/system.h"

namespace vu {
namespace {

struct System {
    std::mutex lock;
    std::string executable, systemDir, tempDir;
    std::vector<std::string> semaphores;
    std::string heldSemaphore;
    std::map<uint32_t, std::string> messages;
    std::map<int, uint32_t> colors;
    bool windows7 = true;
    bool windows64 = false, process64 = false;
    std::optional<plat::LocalDateTime> localNow;
    std::optional<std::string> locale;
    std::map<std::pair<std::string, int>, std::string> resourceStrings;
    std::vector<std::string> opened;
    bool failShellOpen = false;
};

System& S() {
    static System system;
    return system;
}

using Lock = std::lock_guard<std::mutex>;

}  // namespace

namespace plat {

std::string ExecutablePath() {
    Lock l(S().lock);
    return S().executable;
}

std::string SystemDirectory() {
    Lock l(S().lock);
    return S().systemDir;
}

std::string TempDirectory() {
    Lock l(S().lock);
    return S().tempDir;
}

SemaphoreResult CreateInstanceSemaphore(const std::string& name) {
    Lock l(S().lock);
    auto& names = S().semaphores;
    if (std::find(names.begin(), names.end(), name) != names.end()) {
        S().heldSemaphore = name;
        return SemaphoreResult::AlreadyExists;
    }
    names.push_back(name);
    return SemaphoreResult::Created;
}

void CloseInstanceSemaphore() {
    Lock l(S().lock);
    S().heldSemaphore.clear();
}

std::string SystemMessageText(uint32_t errorCode) {
    Lock l(S().lock);
    auto it = S().messages.find(errorCode);
    return it == S().messages.end() ? "" : it->second;
}

uint32_t SystemColorRgb(int which) {
    Lock l(S().lock);
    auto it = S().colors.find(which);
    return it == S().colors.end() ? 0 : it->second;
}

bool ShellOpen(const std::string& target) {
    Lock l(S().lock);
    if (S().failShellOpen) return false;
    S().opened.push_back(target);
    return true;
}

bool IsWindows7OrLater() {
    Lock l(S().lock);
    return S().windows7;
}

bool Is64BitWindows() {
    Lock l(S().lock);
    return S().windows64;
}

bool RunsUnderWow64() {
    Lock l(S().lock);
    return S().windows64 && !S().process64;
}

LocalDateTime LocalNow() {
    {
        Lock l(S().lock);
        if (S().localNow) return *S().localNow;
    }
    std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec};
}

int SystemMetric(int index) { return index == MetricCxEdge ? 2 : index == MetricCxVScroll ? 17 : 0; }

std::optional<std::string> UserLocaleNameFromSystem() {
    Lock l(S().lock);
    return S().locale;
}

std::optional<std::string> LoadResourceString(const std::string& file, int id, int maxChars) {
    Lock l(S().lock);
    auto it = S().resourceStrings.find({file, id});
    if (it == S().resourceStrings.end()) return std::nullopt;
    return it->second.substr(0, size_t(maxChars));
}

}  // namespace plat

namespace sim {

void detail::ResetSystem() {
    Lock l(S().lock);
    S().executable = "C:\\Program Files\\Velloran\\VelloranUtility.exe";
    S().systemDir = "C:\\Windows\\system32";
    S().tempDir = "C:\\Users\\User\\AppData\\Local\\Temp";
    S().semaphores.clear();
    S().heldSemaphore.clear();
    S().messages = {{5, "Access is denied.\r\n"}, {2, "The system cannot find the file specified.\r\n"}};
    S().colors = {{plat::ColorWindow, 0xFFFFFF}, {plat::ColorButtonFace, 0xF0F0F0}};
    S().windows7 = true;
    S().windows64 = S().process64 = false;
    S().localNow.reset();
    S().locale = "en-US";
    S().resourceStrings.clear();
    S().opened.clear();
    S().failShellOpen = false;
}

void SetExecutablePath(const std::string& path) {
    Lock l(S().lock);
    S().executable = path;
}

void SetSystemDirectory(const std::string& path) {
    Lock l(S().lock);
    S().systemDir = path;
}

void SetTempDirectory(const std::string& path) {
    Lock l(S().lock);
    S().tempDir = path;
}

void AddForeignSemaphore(const std::string& name) {
    Lock l(S().lock);
    S().semaphores.push_back(name);
}

std::vector<std::string> Semaphores() {
    Lock l(S().lock);
    return S().semaphores;
}

void SetSystemMessage(uint32_t code, const std::string& text) {
    Lock l(S().lock);
    S().messages[code] = text;
}

void SetSystemColor(int which, uint32_t rgb) {
    Lock l(S().lock);
    S().colors[which] = rgb;
}

void SetWindows7OrLater(bool yes) {
    Lock l(S().lock);
    S().windows7 = yes;
}

void SetWindowsBitness(bool windows64, bool process64) {
    Lock l(S().lock);
    S().windows64 = windows64;
    S().process64 = windows64 && process64;
}

void SetLocalNow(std::optional<plat::LocalDateTime> now) {
    Lock l(S().lock);
    S().localNow = now;
}

void SetUserLocale(std::optional<std::string> locale) {
    Lock l(S().lock);
    S().locale = std::move(locale);
}

void SetResourceString(const std::string& file, int id, const std::string& text) {
    Lock l(S().lock);
    S().resourceStrings[{file, id}] = text;
}

std::vector<std::string> ShellOpened() {
    Lock l(S().lock);
    return S().opened;
}

void FailShellOpen(bool fail) {
    Lock l(S().lock);
    S().failShellOpen = fail;
}

}  // namespace sim
}  // namespace vu
