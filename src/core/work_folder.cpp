// Working folders and their temporary files; see work_folder.h.
#include "core/work_folder.h"

#include <algorithm>
#include <mutex>
#include <random>

#include "core/ini_file.h"
#include "platform/system.h"

namespace vu {

namespace {

constexpr const char* kLockSuffix = ".lock";
constexpr int kNameAttempts = 20;

// 1000 + a random number 0..8999: always four digits.
std::string FourDigits() {
    static std::mutex lock;
    static std::mt19937 generator{std::random_device{}()};
    std::lock_guard<std::mutex> guard(lock);
    return std::to_string(1000 + std::uniform_int_distribution<int>(0, 8999)(generator));
}

std::string WithBackslash(std::string path) {
    if (path.empty() || path.back() != '\\') path += '\\';
    return path;
}

bool EndsWithNoCase(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && EqualsNoCase(text.substr(text.size() - end.size()), end);
}

}  // namespace

bool WorkFolder::Create() {
    Delete();
    std::string temp = plat::TempDirectory();
    if (temp.empty()) return false;
    temp = WithBackslash(temp);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string folder = temp + "ZarnTemp" + FourDigits(), lock = folder + kLockSuffix;
        if (plat::FolderExists(folder) || plat::FileExists(folder) || plat::FileExists(lock)) continue;
        // The lock first: a clean-up of another copy never sees this folder without it. A lock
        // that another copy took a moment ago cannot be opened a second time.
        plat::FileHandle held = plat::OpenFile(lock, plat::FileMode::Create);
        if (!held) continue;
        if (!plat::CreateFolder(folder)) {
            plat::CloseFile(held);
            plat::DeleteFile(lock);
            continue;
        }
        plat::SetHidden(lock, true);
        plat::SetHidden(folder, true);
        path_ = folder + "\\";
        lock_ = held;
        return true;
    }
    return false;
}

void WorkFolder::Delete() {
    if (path_.empty()) return;
    std::string folder = path_.substr(0, path_.size() - 1);
    plat::DeleteTree(folder);
    plat::CloseFile(lock_);
    plat::DeleteFile(folder + kLockSuffix);
    path_.clear();
    lock_ = 0;
}

void RemoveStaleWorkFolders() {
    std::string temp = plat::TempDirectory();
    if (temp.empty()) return;
    temp = WithBackslash(temp);
    for (const auto& entry : plat::ListFolder(temp, "ZarnTemp*")) {
        std::string path = temp + entry.name;
        if (entry.isFolder) {
            // A lock that cannot be deleted is held: the folder belongs to a running job.
            std::string lock = path + kLockSuffix;
            if (plat::FileExists(lock) && !plat::DeleteFile(lock)) continue;
            plat::DeleteTree(path);
        } else if (EndsWithNoCase(entry.name, kLockSuffix) &&
                   !plat::FolderExists(path.substr(0, path.size() - std::string(kLockSuffix).size()))) {
            plat::DeleteFile(path);  // fails while held: its folder is about to be made
        }
    }
}

std::string NewTempFileName(std::string folder) {
    folder = WithBackslash(folder);
    for (const auto& entry : plat::ListFolder(folder, "TEMP*")) {
        if (!entry.isFolder) plat::DeleteFile(folder + entry.name);
    }
    std::string candidate;
    do {
        candidate = folder + "TEMP" + FourDigits();
    } while (plat::FileExists(candidate) || plat::FolderExists(candidate));
    return candidate;
}

bool CreateDirectoryTree(std::string path) {
    if (path.empty()) return false;
    std::replace(path.begin(), path.end(), '/', '\\');
    if (plat::FolderExists(path)) return true;
    while (!path.empty() && path.back() == '\\') path.pop_back();
    if (path.empty()) return false;
    if (auto slash = path.rfind('\\'); slash != std::string::npos) CreateDirectoryTree(path.substr(0, slash + 1));
    return plat::CreateFolder(path) || plat::FolderExists(path);
}

}  // namespace vu
