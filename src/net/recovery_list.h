// The list of Recovery HD packages offered in the Download Center. The settings file stores and
// restores it (one "name = URL" line per entry); the catalog update rebuilds it on its worker
// thread. The list is locked so that a settings write on the main thread never reads it half
// rebuilt.
#pragma once
#include <mutex>
#include <string>
#include <vector>

namespace vu {

struct RecoveryEntry {
    std::string Title;  // the name shown in the Download Center, the key in the settings file
    std::string Url;    // the package to download
};

class RecoveryEntryList {
public:
    std::vector<RecoveryEntry> Entries() const;
    void Replace(std::vector<RecoveryEntry> entries);
    void Clear();

private:
    mutable std::mutex lock_;
    std::vector<RecoveryEntry> entries_;
};

extern RecoveryEntryList RecoveryList;

}  // namespace vu
