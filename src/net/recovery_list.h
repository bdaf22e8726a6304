// The list of Recovery HD packages offered in the Download Center. The settings file stores and
// restores it (one "name = URL" line per entry); the catalog update rebuilds it on its worker
// thread. The list is locked so that a settings write on the main thread never reads it half
// rebuilt.
#pragma once
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace vu {

// One offered package. Entries restored from the settings file and the built-in ones carry only
// Title and Url; the catalog update fills every field.
struct RecoveryEntry {
    RecoveryEntry() = default;
    RecoveryEntry(std::string title, std::string url) : Title(std::move(title)), Url(std::move(url)) {}

    std::string Title;        // the name shown in the Download Center, the key in the settings file
    std::string Url;          // the package to download
    std::string ProductCode;  // the first folder of the package's path that contains "-"
    std::string MetadataUrl;  // the catalog's MetadataURL
    std::string Size;         // the catalog's Size, decimal bytes
    std::string Digest;       // the catalog's Digest: identifies a package across catalogs
    std::string Build;        // the macOS build, from the package metadata or distribution file
    int64_t PostDateValue = 0;  // the product's PostDate, seconds since 1970-01-01 00:00:00
    std::string PostDate;       // the same as "yyyy-mm-dd"
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
