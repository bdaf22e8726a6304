// The simulated PC's file system: drive letters mapped to host folders; the hidden attribute is
// kept beside them in memory. Every change is reported to the volume sync (sim_volume_sync.h).
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <unistd.h>

#include "platform/files.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_disk_model.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_last_error.h"
#include "platform/sim/sim_state.h"
#include "platform/sim/sim_volume_sync_hooks.h"
#include "platform/transfer_io.h"

namespace fs = std::filesystem;

namespace vu {
namespace {

struct Files {
    std::mutex lock;
    std::string root;  // temporary root of this process
    std::map<char, std::string> drives;
    std::set<std::string> hidden;  // host paths
    std::map<plat::FileHandle, std::fstream*> open;
    std::map<plat::FileHandle, char> writers;  // open for writing, with the letter they write on
    std::map<plat::FileHandle, std::string> hostPaths;
    std::set<char> fullDrives;                 // writes fail there after truncating
    std::map<char, uint64_t> freeSpace;        // what FreeDiskSpace tells there, when set
    std::set<char> goneDrives;                 // of sticks pulled out: nothing is there any more
    std::set<char> protectedDrives;            // of read-only sticks: nothing changes there
    plat::FileHandle next = 1;
};

Files& F() {
    static Files files;
    return files;
}

using Lock = std::lock_guard<std::mutex>;

std::string Root() {
    if (F().root.empty()) {
        F().root = (fs::temp_directory_path() / ("vu-sim-" + std::to_string(getpid()))).string();
        // Every test process has a PC of its own; none outlives it.
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(F().root, ec);
        });
    }
    return F().root;
}

std::string DriveFolder(char letter) {
    letter = char(std::toupper(static_cast<unsigned char>(letter)));
    auto it = F().drives.find(letter);
    if (it != F().drives.end()) return it->second;
    std::string folder = Root() + "/" + letter;
    fs::create_directories(folder);
    F().drives[letter] = folder;
    return folder;
}

std::string ToHost(const std::string& path) {
    std::string rest = path;
    std::string base;
    if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') {
        char letter = char(std::toupper(static_cast<unsigned char>(path[0])));
        // Below a device file every call fails, as every call on a pulled stick's drive does.
        base = F().goneDrives.count(letter) ? std::string("/dev/null/") + letter : DriveFolder(letter);
        rest = path.substr(2);
    } else {
        base = DriveFolder('C');
    }
    std::replace(rest.begin(), rest.end(), '\\', '/');
    while (rest.size() > 1 && rest.back() == '/') rest.pop_back();
    if (rest == "/") rest.clear();
    if (!rest.empty() && rest[0] != '/') rest = "/" + rest;
    return base + rest;
}

// The drive letter a Windows path is on (the current folder's for a relative path).
char LetterOf(const std::string& path) {
    if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':')
        return char(std::toupper(static_cast<unsigned char>(path[0])));
    return 'C';
}

void Changed(const std::string& path) { sim::detail::MarkLetterChanged(LetterOf(path)); }

// A call that reaches the drive; a stick pulled out by it leaves the call failing.
void Count(const std::string& path) { sim::detail::CountLetterRequest(LetterOf(path)); }

bool Matches(const std::string& pattern, const std::string& name) {
    // '*' and '?' wildcards, case-insensitive, as FindFirstFile matches.
    size_t p = 0, n = 0, star = std::string::npos, mark = 0;
    auto eq = [](char a, char b) { return std::tolower((unsigned char)a) == std::tolower((unsigned char)b); };
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || eq(pattern[p], name[n]))) {
            ++p, ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++, mark = n;
        } else if (star != std::string::npos) {
            p = star + 1, n = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

// The forms that do not throw: a name the host refuses (one too long, say) is simply not there,
// as a failed call on Windows.
bool IsFile(const std::string& host) {
    std::error_code ec;
    return fs::is_regular_file(host, ec);
}
bool IsFolder(const std::string& host) {
    std::error_code ec;
    return fs::is_directory(host, ec);
}
bool Exists(const std::string& host) {
    std::error_code ec;
    return fs::exists(host, ec);
}

void MakeWritable(const fs::path& p) {
    std::error_code ec;
    // A link is deleted as a link: what it points to is none of the tree's business.
    if (fs::is_symlink(p, ec)) return;
    fs::permissions(p, fs::perms::owner_write, fs::perm_options::add, ec);
}

bool DriveFull(const std::string& path) { return F().fullDrives.count(LetterOf(path)) != 0; }

// Windows' sharing rules for the program's opens (read sharing only): a file that is open cannot
// be deleted or opened for writing, and a file open for writing cannot be opened at all.
bool HeldOpen(const std::string& host) {
    for (auto& [handle, path] : F().hostPaths)
        if (path == host) return true;
    return false;
}

bool HeldForWriting(const std::string& host) {
    for (auto& [handle, letter] : F().writers)
        if (F().hostPaths[handle] == host) return true;
    return false;
}

bool HeldBelow(const std::string& host) {
    for (auto& [handle, path] : F().hostPaths)
        if (path == host || path.rfind(host + "/", 0) == 0) return true;
    return false;
}

// A change on a read-only stick's drive fails, as Windows refuses it.
bool WriteProtected(const std::string& path) {
    if (!F().protectedDrives.count(LetterOf(path))) return false;
    sim::detail::SetLastErrorCode(sim::detail::ErrorWriteProtect);
    return true;
}

}  // namespace

namespace plat {

bool FileExists(const std::string& path) {
    Count(path);
    Lock l(F().lock);
    return IsFile(ToHost(path));
}

bool FolderExists(const std::string& path) {
    Count(path);
    Lock l(F().lock);
    return !path.empty() && IsFolder(ToHost(path));
}

int64_t FileSize(const std::string& path) {
    Count(path);
    Lock l(F().lock);
    std::error_code ec;
    auto size = fs::file_size(ToHost(path), ec);
    return ec ? -1 : int64_t(size);
}

bool CreateFolder(const std::string& path) {
    Count(path);
    Lock l(F().lock);
    if (WriteProtected(path)) return false;
    std::error_code ec;
    bool made = fs::create_directory(ToHost(path), ec);
    if (made) Changed(path);
    return made;
}

bool DeleteFile(const std::string& path) {
    Count(path);
    Lock l(F().lock);
    if (WriteProtected(path)) return false;
    std::string host = ToHost(path);
    if (!IsFile(host) || HeldOpen(host)) return false;
    MakeWritable(host);
    std::error_code ec;
    F().hidden.erase(host);
    bool removed = fs::remove(host, ec);
    Changed(path);
    return removed;
}

bool DeleteTree(const std::string& path) {
    Count(path);
    Lock l(F().lock);
    if (WriteProtected(path)) return false;
    std::string host = ToHost(path);
    if (!Exists(host)) return false;
    std::error_code ec;
    for (auto& e : fs::recursive_directory_iterator(host, ec)) MakeWritable(e.path());
    if (HeldBelow(host)) {
        // As Windows deletes a tree entry by entry: open files stay, and so do their folders.
        std::vector<fs::path> entries;
        for (auto& e : fs::recursive_directory_iterator(host, ec)) entries.push_back(e.path());
        std::sort(entries.rbegin(), entries.rend());  // children before their folders
        for (const fs::path& e : entries)
            if (!HeldOpen(e.string()) && (!fs::is_directory(e, ec) || fs::is_empty(e, ec))) {
                F().hidden.erase(e.string());
                fs::remove(e, ec);
            }
        Changed(path);
        return false;
    }
    std::erase_if(F().hidden, [&](const std::string& h) { return h == host || h.rfind(host + "/", 0) == 0; });
    bool removed = fs::remove_all(host, ec) > 0 && !ec;
    Changed(path);
    return removed;
}

bool SetHidden(const std::string& path, bool hidden) {
    Count(path);
    Lock l(F().lock);
    if (WriteProtected(path)) return false;
    std::string host = ToHost(path);
    if (!Exists(host)) return false;
    if (hidden) F().hidden.insert(host);
    else F().hidden.erase(host);
    Changed(path);
    return true;
}

bool IsHidden(const std::string& path) {
    Count(path);
    Lock l(F().lock);
    return F().hidden.count(ToHost(path)) != 0;
}

std::vector<FolderEntry> ListFolder(const std::string& folder, const std::string& pattern) {
    Count(folder);
    Lock l(F().lock);
    std::vector<FolderEntry> entries;
    std::error_code ec;
    for (auto& e : fs::directory_iterator(ToHost(folder), ec)) {
        std::string name = e.path().filename().string();
        if (!Matches(pattern, name)) continue;
        bool isFolder = e.is_directory(ec);
        entries.push_back({name, isFolder, isFolder ? 0 : int64_t(e.file_size(ec))});
    }
    std::sort(entries.begin(), entries.end(), [](auto& a, auto& b) { return a.name < b.name; });
    return entries;
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    Count(path);
    std::ifstream in;
    {
        Lock l(F().lock);
        // A folder opens as a stream on Linux and throws on reading; Windows refuses to open it.
        std::string host = ToHost(path);
        if (!IsFile(host) || HeldForWriting(host)) return false;
        in.open(host, std::ios::binary);
    }
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), {});
    return !in.bad();
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
    Count(path);
    std::ofstream out;
    bool full;
    {
        Lock l(F().lock);
        if (WriteProtected(path) || HeldOpen(ToHost(path))) return false;
        out.open(ToHost(path), std::ios::binary | std::ios::trunc);
        full = DriveFull(path);
    }
    if (!out) return false;
    if (full && !bytes.empty()) {
        Changed(path);
        return false;  // created or truncated, and nothing written
    }
    out.write(bytes.data(), std::streamsize(bytes.size()));
    bool written = bool(out.flush());
    Changed(path);
    return written;
}

bool FreeDiskSpace(const std::string& folder, uint64_t& freeBytes) {
    std::string host;
    {
        Lock l(F().lock);
        auto set = F().freeSpace.find(LetterOf(folder));
        if (set != F().freeSpace.end()) return freeBytes = set->second, true;
        host = ToHost(folder);
    }
    std::error_code ec;
    fs::space_info space = fs::space(host, ec);
    if (ec) return false;
    freeBytes = space.available;
    return true;
}

FileHandle OpenFile(const std::string& path, FileMode mode) {
    Count(path);
    Lock l(F().lock);
    std::ios::openmode how = std::ios::binary;
    std::string host = ToHost(path);
    switch (mode) {
        case FileMode::Read: how |= std::ios::in; break;
        case FileMode::Create: how |= std::ios::out | std::ios::trunc; break;
        case FileMode::ReadWrite: how |= std::ios::in | std::ios::out; break;
    }
    if (mode != FileMode::Create && !IsFile(host)) return 0;
    if (mode != FileMode::Read && WriteProtected(path)) return 0;
    if (mode == FileMode::Read ? HeldForWriting(host) : HeldOpen(host)) return 0;
    auto* stream = new std::fstream(host, how);
    if (!*stream) {
        delete stream;
        return 0;
    }
    FileHandle handle = F().next++;
    F().open[handle] = stream;
    F().hostPaths[handle] = host;
    if (mode != FileMode::Read) {
        F().writers[handle] = LetterOf(path);
        Changed(path);
    }
    return handle;
}

namespace {
std::fstream* Stream(FileHandle file) {
    Lock l(F().lock);
    auto it = F().open.find(file);
    return it == F().open.end() ? nullptr : it->second;
}
}  // namespace

int64_t ReadFileData(FileHandle file, void* buffer, int64_t size) {
    auto* s = Stream(file);
    if (!s) return -1;
    s->read(static_cast<char*>(buffer), size);
    int64_t got = s->gcount();
    if (s->eof()) s->clear();
    if (!s->bad()) return got;
    sim::detail::SetLastErrorCode(sim::detail::ErrorReadFault);
    return -1;
}

int64_t WriteFileData(FileHandle file, const void* buffer, int64_t size) {
    auto* s = Stream(file);
    if (!s) return -1;
    char letter = 0;
    {
        Lock l(F().lock);
        auto writer = F().writers.find(file);
        if (writer != F().writers.end()) letter = writer->second;
    }
    if (letter) sim::detail::CountLetterRequest(letter);
    {
        Lock l(F().lock);
        if (letter && F().goneDrives.count(letter)) {
            sim::detail::SetLastErrorCode(sim::detail::ErrorDeviceNotConnected);
            return -1;
        }
    }
    s->write(static_cast<const char*>(buffer), size);
    if (*s) return size;
    sim::detail::SetLastErrorCode(errno == ENOSPC ? sim::detail::ErrorDiskFull : sim::detail::ErrorWriteFault);
    return -1;
}

bool SeekFile(FileHandle file, int64_t offset) {
    auto* s = Stream(file);
    if (!s) return false;
    s->clear();
    s->seekg(offset);
    s->seekp(offset);
    return bool(*s);
}

int64_t FileLength(FileHandle file) {
    auto* s = Stream(file);
    if (!s) return -1;
    auto here = s->tellg();
    s->seekg(0, std::ios::end);
    int64_t length = s->tellg();
    s->seekg(here);
    return length;
}

void CloseFile(FileHandle file) {
    Lock l(F().lock);
    auto it = F().open.find(file);
    if (it == F().open.end()) return;
    // Closing flushes what the stream still buffered, which a sync since the opening has missed.
    delete it->second;
    F().open.erase(it);
    F().hostPaths.erase(file);
    auto writer = F().writers.find(file);
    if (writer == F().writers.end()) return;
    sim::detail::MarkLetterChanged(writer->second);
    F().writers.erase(writer);
}

FileHandle CreateImageFile(const std::string& path) { return OpenFile(path, FileMode::Create); }

FileHandle OpenImageFile(const std::string& path) { return OpenFile(path, FileMode::Read); }

bool SetFileEnd(FileHandle file) {
    auto* s = Stream(file);
    if (!s || !s->flush()) return false;
    Lock l(F().lock);
    std::error_code ec;
    fs::resize_file(F().hostPaths[file], uintmax_t(int64_t(s->tellp())), ec);
    return !ec;
}

// The host's page cache stands for the stick: what was handed over is written.
bool FlushFile(FileHandle file) {
    auto* s = Stream(file);
    return s && s->flush();
}

bool MoveFileOver(const std::string& from, const std::string& to) {
    Count(from);
    Count(to);
    Lock l(F().lock);
    std::error_code ec;
    if (WriteProtected(from) || WriteProtected(to)) return false;
    std::string source = ToHost(from), target = ToHost(to);
    if (!fs::is_regular_file(source) || fs::is_directory(target)) return false;
    fs::rename(source, target, ec);
    if (ec) return false;
    if (F().hidden.erase(source)) F().hidden.insert(target);
    else F().hidden.erase(target);
    Changed(from);
    Changed(to);
    return true;
}

std::string LibraryPath(const std::string& path) {
    Count(path);
    Lock l(F().lock);
    // The library may write there (an archive extracted onto the volume) without telling us.
    Changed(path);
    return ToHost(path);
}

}  // namespace plat

namespace sim {

void SetDriveFull(char letter, bool full) {
    Lock l(F().lock);
    letter = char(std::toupper(static_cast<unsigned char>(letter)));
    if (full) F().fullDrives.insert(letter);
    else F().fullDrives.erase(letter);
}

void SetFreeDiskSpace(char letter, uint64_t bytes) {
    Lock l(F().lock);
    F().freeSpace[char(std::toupper(static_cast<unsigned char>(letter)))] = bytes;
}

void SetDriveRoot(char letter, const std::string& hostFolder) {
    Lock l(F().lock);
    F().drives[char(std::toupper(static_cast<unsigned char>(letter)))] = hostFolder;
}

std::string DriveRoot(char letter) {
    Lock l(F().lock);
    return DriveFolder(letter);
}

std::string HostPath(const std::string& windowsPath) {
    Lock l(F().lock);
    return ToHost(windowsPath);
}

void detail::EmptyDriveFolder(char letter) {
    Lock l(F().lock);
    std::string folder = DriveFolder(letter);
    std::error_code ec;
    for (auto& e : fs::directory_iterator(folder, ec)) {
        for (auto& inner : fs::recursive_directory_iterator(e.path(), ec)) MakeWritable(inner.path());
        fs::remove_all(e.path(), ec);
    }
    std::erase_if(F().hidden, [&](const std::string& h) { return h.rfind(folder + "/", 0) == 0; });
}

void detail::RenewDriveStates(const std::set<char>& writeProtected) {
    Lock l(F().lock);
    F().goneDrives.clear();
    F().protectedDrives = writeProtected;
}

void detail::DropDriveFolder(char letter) {
    Lock l(F().lock);
    F().goneDrives.insert(char(std::toupper(static_cast<unsigned char>(letter))));
}

std::set<std::string> detail::HiddenUnderDrive(char letter) {
    Lock l(F().lock);
    std::string folder = DriveFolder(letter);
    std::set<std::string> paths;
    for (const auto& h : F().hidden)
        if (h.rfind(folder + "/", 0) == 0 && Exists(h)) paths.insert(h.substr(folder.size() + 1));
    return paths;
}

// Every reset starts from empty drives, so that no test sees another's files.
void detail::ResetFiles() {
    Lock l(F().lock);
    for (auto& [h, s] : F().open) delete s;
    F().open.clear();
    F().writers.clear();
    F().hostPaths.clear();
    F().hidden.clear();
    F().drives.clear();
    F().fullDrives.clear();
    F().freeSpace.clear();
    F().goneDrives.clear();
    F().protectedDrives.clear();
    std::error_code ec;
    fs::remove_all(Root(), ec);
    // The folders every simulated PC has: the program's, the system's and the user's temporary one.
    for (const char* folder : {"/Program Files/Velloran", "/Windows/system32", "/Users/User/AppData/Local/Temp"})
        fs::create_directories(DriveFolder('C') + folder);
}

}  // namespace sim
}  // namespace vu
