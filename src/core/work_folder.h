// Working folders: each job that unpacks or downloads into the user's temporary folder (a format
// run's data set, a list update, a Recovery HD package, an unpacked package) makes a hidden folder
// "ZarnTemp" + four digits of its own and deletes it, with everything in it, when it is done; no
// job ever deletes another's. Beside the folder lies "ZarnTemp" + the same digits + ".lock", which
// the job holds open from before the folder exists until the folder is gone: Windows lets nobody
// delete a file that is open without delete sharing, so a held lock marks a folder that a running
// copy of the program still uses. The start-up clean-up deletes only folders whose lock can be
// deleted (or that have none): the left-overs of copies that ended without deleting them.
//
// A WorkFolder belongs to the thread of its job. The clean-up and the temporary file names may
// be used from any thread.
#pragma once
#include <string>

#include "platform/files.h"

namespace vu {

class WorkFolder {
public:
    WorkFolder() = default;
    ~WorkFolder() { Delete(); }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    // Makes a fresh hidden folder and holds its lock; a folder this object made before is deleted
    // first. False when there is no temporary folder or nothing can be created in it.
    bool Create();
    // Deletes the folder with everything in it, then its lock; nothing while there is none.
    void Delete();
    // Full path, ending in "\"; empty while there is none.
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    plat::FileHandle lock_ = 0;
};

// Deletes the "ZarnTemp*" folders of the temporary folder whose lock nobody holds, with their
// locks, and locks left without a folder. Plain files are left alone.
void RemoveStaleWorkFolders();

// A free name "TEMP" + four digits in `folder`. Deletes the "TEMP*" files handed out before.
std::string NewTempFileName(std::string folder);

// Creates `path` and every missing parent; "/" counts as "\". An empty path does nothing.
// True when the folder exists afterwards.
bool CreateDirectoryTree(std::string path);

}  // namespace vu
