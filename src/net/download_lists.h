// The download lists: the user's own "UserDL.ini" (by its bare name, in the current folder) and
// the list published on the download-list host, both INI files in which every group is one
// downloadable item. Read into AdditionalList, which the Download Center offers; the update
// fetches the published list on its own worker thread, holding the download slot.
//
// Also the built-in Recovery HD entries, which every Recovery HD list update adds when missing.
#pragma once
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "net/recovery_list.h"

namespace vu {

struct AdditionalEntry {
    uint8_t IsUser = 0;       // 1: an item (or the header) of "UserDL.ini"
    std::string Name;         // the group name, or the header text of a header element
    std::string Catalog;      // sub-folder of the Clover local repository to save into
    std::string Description;  // one line shown in the list
    std::string Md5Digest;    // 32 hexadecimal digits (MD5) or 40 (SHA-1), checked after the download
    std::string Url;
    std::string Size;         // decimal bytes
    std::string PostDate;
};

// Rebuilt by the list update on its thread while the Download Center reads it: locked.
class AdditionalEntryList {
public:
    std::vector<AdditionalEntry> Entries() const;
    void Replace(std::vector<AdditionalEntry> entries);

private:
    mutable std::mutex lock_;
    std::vector<AdditionalEntry> entries_;
};

extern AdditionalEntryList AdditionalList;

constexpr const char* UserListFile = "UserDL.ini";
constexpr const char* PublishedListPath = "/files/AdditionalDL/DLList.ini";
constexpr const char* UserListHeader = " -- User Downloads";
constexpr const char* PublishedListHeader = " -- Zarn Additional Downloads";

// The entries of a list file's text: its header element, then one element per group in file
// order. Keys match in any letter case; values are trimmed; unknown keys are ignored.
std::vector<AdditionalEntry> ParseDownloadList(const std::string& text, uint8_t isUser);
// The same for a file; nothing (not even the header) when it cannot be read.
std::vector<AdditionalEntry> ReadDownloadList(const std::string& fileName, uint8_t isUser);

// Start-up: AdditionalList = the entries of "UserDL.ini" alone (the argument is isUser).
void LoadUserDownloadList(int isUser);

// The published list's address; "" when the list host is not configured.
std::string PublishedListAddress();

// The update's worker procedure: fetches the published list into a working folder of its own and,
// when that worked, rebuilds AdditionalList from "UserDL.ini" and the published list and asks the
// main thread to refill the Download Center's list. The working folder is removed at the end. The
// caller holds the download slot; its cancel, DownloadAbortRequested, stops the fetch, and a
// stopped update keeps the list it had.
void UpdateAdditionalList();

// At program end: writes the example "UserDL.ini" (comment lines only) when none exists.
void WriteUserListExample();
// The ten texts of the example, each written as a comment line.
std::vector<std::string> UserListExampleTexts();

// The built-in Recovery HD entries, title and URL (on Apple's download host).
std::vector<RecoveryEntry> BuiltInRecoveryEntries();

}  // namespace vu
