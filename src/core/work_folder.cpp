// The working folder and its temporary files; see work_folder.h.
#include "core/work_folder.h"

#include <algorithm>
#include <mutex>
#include <random>

#include "platform/files.h"
#include "platform/system.h"

namespace vu {

std::string ZarnTempPath;

namespace {

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

}  // namespace

bool CreateWorkFolder() {
    ZarnTempPath.clear();
    std::string temp = plat::TempDirectory();
    if (temp.empty()) return false;
    temp = WithBackslash(temp);

    for (const auto& entry : plat::ListFolder(temp, "ZarnTemp*")) {
        if (entry.isFolder) plat::DeleteTree(temp + entry.name);
    }

    std::string candidate;
    do {
        candidate = temp + "ZarnTemp" + FourDigits() + "\\";
    } while (plat::FolderExists(candidate) || plat::FileExists(candidate));

    if (!plat::CreateFolder(candidate)) return false;
    plat::SetHidden(candidate, true);
    ZarnTempPath = candidate;
    return true;
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

void DeleteWorkFolder() {
    if (ZarnTempPath.empty()) return;
    plat::DeleteTree(ZarnTempPath);
    ZarnTempPath.clear();
}

}  // namespace vu
