// The file API on Windows: the wide-character file functions over UTF-8 paths.
#include <windows.h>
// windows.h names DeleteFile as a macro; the seam's DeleteFile is ours.
#undef DeleteFile

#include <algorithm>

#include "platform/files.h"
#include "platform/win32/wide.h"

namespace vu::plat {

namespace {

std::wstring Path(const std::string& path) {
    std::wstring wide = Widen(path);
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    return wide;
}

std::wstring WithoutTrailingSlash(std::wstring path) {
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    return path;
}

DWORD Attributes(const std::string& path) { return GetFileAttributesW(WithoutTrailingSlash(Path(path)).c_str()); }

void ClearReadOnly(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                                                FILE_ATTRIBUTE_SYSTEM)))
        SetFileAttributesW(path.c_str(), attributes & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                                        FILE_ATTRIBUTE_SYSTEM));
}

// A junction or a symbolic link to a folder: removing it removes the link, not the folder's
// contents, which may lie anywhere (another drive, the user's documents).
bool RemoveFolderLink(const std::wstring& link) {
    return RemoveDirectoryW(link.c_str()) != 0 || ::DeleteFileW(link.c_str()) != 0;
}

bool IsFolderLink(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool DeleteTreeWide(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring child = folder + L"\\" + name;
            if (IsFolderLink(data.dwFileAttributes)) {
                RemoveFolderLink(child);
                continue;
            }
            ClearReadOnly(child);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) DeleteTreeWide(child);
            else ::DeleteFileW(child.c_str());
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    ClearReadOnly(folder);
    return RemoveDirectoryW(folder.c_str()) != 0;
}

HANDLE H(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

}  // namespace

bool FileExists(const std::string& path) {
    DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& path) {
    if (path.empty()) return false;
    DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

int64_t FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Path(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return -1;
    return int64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

bool CreateFolder(const std::string& path) {
    return CreateDirectoryW(WithoutTrailingSlash(Path(path)).c_str(), nullptr) != 0;
}

bool DeleteFile(const std::string& path) {
    std::wstring wide = Path(path);
    ClearReadOnly(wide);
    return ::DeleteFileW(wide.c_str()) != 0;
}

bool DeleteTree(const std::string& path) {
    if (!FolderExists(path)) return DeleteFile(path);
    std::wstring folder = WithoutTrailingSlash(Path(path));
    if (IsFolderLink(GetFileAttributesW(folder.c_str()))) return RemoveFolderLink(folder);
    return DeleteTreeWide(folder);
}

bool SetHidden(const std::string& path, bool hidden) {
    std::wstring wide = WithoutTrailingSlash(Path(path));
    DWORD a = GetFileAttributesW(wide.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return false;
    a = hidden ? (a | FILE_ATTRIBUTE_HIDDEN) : (a & ~FILE_ATTRIBUTE_HIDDEN);
    return SetFileAttributesW(wide.c_str(), a) != 0;
}

bool IsHidden(const std::string& path) {
    DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_HIDDEN);
}

std::vector<FolderEntry> ListFolder(const std::string& folder, const std::string& pattern) {
    std::vector<FolderEntry> entries;
    std::wstring base = WithoutTrailingSlash(Path(folder));
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((base + L"\\" + Widen(pattern)).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return entries;
    do {
        std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        bool isFolder = data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
        entries.push_back({Narrow(name), isFolder, isFolder ? 0 : (int64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow)});
    } while (FindNextFileW(find, &data));
    FindClose(find);
    std::sort(entries.begin(), entries.end(), [](auto& a, auto& b) { return a.name < b.name; });
    return entries;
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    FileHandle file = OpenFile(path, FileMode::Read);
    if (!file) return false;
    int64_t length = FileLength(file);
    // A 32-bit program cannot hold every file in memory; a length cut down to size_t would leave
    // the read running past the end of the buffer.
    bool ok = length >= 0 && uint64_t(length) <= bytes.max_size();
    if (ok) {
        bytes.assign(size_t(length), '\0');
        ok = ReadFileData(file, bytes.data(), length) == length;
    }
    CloseFile(file);
    return ok;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
    FileHandle file = OpenFile(path, FileMode::Create);
    if (!file) return false;
    bool ok = WriteFileData(file, bytes.data(), int64_t(bytes.size())) == int64_t(bytes.size());
    CloseFile(file);
    return ok;
}

bool MoveFileOver(const std::string& from, const std::string& to) {
    return MoveFileExW(Path(from).c_str(), Path(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool FreeDiskSpace(const std::string& folder, uint64_t& freeBytes) {
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExW(Path(folder).c_str(), &available, nullptr, nullptr)) return false;
    freeBytes = available.QuadPart;
    return true;
}

FileHandle OpenFile(const std::string& path, FileMode mode) {
    DWORD access = mode == FileMode::Read ? GENERIC_READ : mode == FileMode::Create ? GENERIC_WRITE
                                                                                    : GENERIC_READ | GENERIC_WRITE;
    DWORD disposition = mode == FileMode::Create ? CREATE_ALWAYS : OPEN_EXISTING;
    HANDLE file = CreateFileW(Path(path).c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? 0 : reinterpret_cast<FileHandle>(file);
}

int64_t ReadFileData(FileHandle file, void* buffer, int64_t size) {
    int64_t total = 0;
    auto* bytes = static_cast<char*>(buffer);
    while (total < size) {
        DWORD chunk = DWORD(std::min<int64_t>(size - total, 1 << 30)), got = 0;
        if (!ReadFile(H(file), bytes + total, chunk, &got, nullptr)) return -1;
        if (got == 0) break;
        total += got;
    }
    return total;
}

int64_t WriteFileData(FileHandle file, const void* buffer, int64_t size) {
    int64_t total = 0;
    auto* bytes = static_cast<const char*>(buffer);
    while (total < size) {
        DWORD chunk = DWORD(std::min<int64_t>(size - total, 1 << 30)), written = 0;
        if (!WriteFile(H(file), bytes + total, chunk, &written, nullptr)) return -1;
        total += written;
    }
    return total;
}

bool SeekFile(FileHandle file, int64_t offset) {
    LARGE_INTEGER to;
    to.QuadPart = offset;
    return SetFilePointerEx(H(file), to, nullptr, FILE_BEGIN) != 0;
}

int64_t FileLength(FileHandle file) {
    LARGE_INTEGER size;
    return GetFileSizeEx(H(file), &size) ? size.QuadPart : -1;
}

void CloseFile(FileHandle file) {
    if (file) CloseHandle(H(file));
}

std::string LibraryPath(const std::string& path) { return path; }

}  // namespace vu::plat
