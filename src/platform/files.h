// The seam's small file API over Windows paths ("C:\Users\...\ZarnTemp1234\", "E:\EFI\CLOVER\").
// win32 calls the wide-character Windows functions; the simulated PC maps each drive letter to a
// host folder. Callable from any thread.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vu::plat {

bool FileExists(const std::string& path);    // an existing file (not a folder)
bool FolderExists(const std::string& path);  // an existing folder; a trailing "\" is allowed
int64_t FileSize(const std::string& path);   // -1 when the file does not exist
bool CreateFolder(const std::string& path);  // the parent must exist
// Forced deletions: read-only and hidden attributes do not stop them. A link to a folder (a
// junction or a symbolic link) inside a deleted tree is removed itself; what it points to stays.
bool DeleteFile(const std::string& path);
bool DeleteTree(const std::string& path);
bool SetHidden(const std::string& path, bool hidden);
bool IsHidden(const std::string& path);

struct FolderEntry {
    std::string name;
    bool isFolder = false;
    int64_t size = 0;
};
// Entries of `folder` whose names match `pattern` ("*", "ZarnTemp*", "*.zip"; case-insensitive),
// without "." and "..".
std::vector<FolderEntry> ListFolder(const std::string& folder, const std::string& pattern = "*");

// Whole files.
bool ReadWholeFile(const std::string& path, std::string& bytes);
bool WriteWholeFile(const std::string& path, const std::string& bytes);  // creates or truncates
// Moves a file over another of the same folder, replacing it in one step (MoveFileExW with
// MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH).
bool MoveFileOver(const std::string& from, const std::string& to);

// The bytes free for this user on the volume that holds `folder` (GetDiskFreeSpaceExW); false
// when it cannot be told.
bool FreeDiskSpace(const std::string& folder, uint64_t& freeBytes);

// Open files. 0 is no file.
using FileHandle = intptr_t;
enum class FileMode { Read, Create /* new or truncated, write */, ReadWrite /* existing */ };
FileHandle OpenFile(const std::string& path, FileMode mode);
int64_t ReadFileData(FileHandle file, void* buffer, int64_t size);        // bytes read, -1 on error
int64_t WriteFileData(FileHandle file, const void* buffer, int64_t size); // bytes written, -1 on error
bool SeekFile(FileHandle file, int64_t offset);
int64_t FileLength(FileHandle file);
void CloseFile(FileHandle file);

// The name under which a library that opens files by name (libzip, libarchive) finds `path`:
// the path itself on Windows (UTF-8), the host path on the simulated PC.
std::string LibraryPath(const std::string& path);

}  // namespace vu::plat
