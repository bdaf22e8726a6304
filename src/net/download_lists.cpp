// The download lists; see download_lists.h.
#include "net/download_lists.h"

#include <cctype>

#include "core/gadget_numbers.h"
#include "core/globals.h"
#include "core/ini_file.h"
#include "core/status_bar.h"
#include "core/work_folder.h"
#include "net/download_callbacks.h"
#include "net/download_center.h"
#include "net/download_hosts.h"
#include "net/http_download.h"
#include "platform/files.h"
#include "platform/gui.h"

namespace vu {

AdditionalEntryList AdditionalList;

std::vector<AdditionalEntry> AdditionalEntryList::Entries() const {
    std::lock_guard<std::mutex> l(lock_);
    return entries_;
}

void AdditionalEntryList::Replace(std::vector<AdditionalEntry> entries) {
    std::lock_guard<std::mutex> l(lock_);
    entries_ = std::move(entries);
}

namespace {

std::string Upper(std::string text) {
    for (char& c : text) c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

std::vector<AdditionalEntry> ParseDownloadList(const std::string& text, uint8_t isUser) {
    std::vector<AdditionalEntry> entries;
    AdditionalEntry header;
    header.IsUser = isUser;
    header.Name = isUser ? UserListHeader : PublishedListHeader;
    entries.push_back(header);
    IniData ini = IniData::Parse(text);
    for (const IniSection& group : ini.Sections()) {
        AdditionalEntry entry;
        entry.IsUser = isUser;
        entry.Name = group.name;
        for (const IniKey& key : group.keys) {
            std::string name = Upper(key.name);
            if (name == "URL") entry.Url = key.value;
            else if (name == "SIZE") entry.Size = key.value;
            else if (name == "DESCRIPTION") entry.Description = key.value;
            else if (name == "MD5DIGEST") entry.Md5Digest = key.value;
            else if (name == "POSTDATE") entry.PostDate = key.value;
            else if (name == "CATALOG") entry.Catalog = key.value;
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<AdditionalEntry> ReadDownloadList(const std::string& fileName, uint8_t isUser) {
    std::string text;
    if (!plat::ReadWholeFile(fileName, text)) return {};
    return ParseDownloadList(text, isUser);
}

void LoadUserDownloadList(int isUser) { AdditionalList.Replace(ReadDownloadList(UserListFile, uint8_t(isUser))); }

std::string PublishedListAddress() {
    return HostAddress(DownloadHost::List, PublishedListPath);
}

void UpdateAdditionalList() {
    std::string address = PublishedListAddress();
    if (address.empty()) {
        ShowStatus(NoHostText(DownloadHost::List), StatusPauseMs);
        return;
    }
    WorkFolder work;
    if (work.Create()) {
        DownloadRequest request;
        request.Url = address;
        request.Destination = DownloadToFile;
        request.ChunkSize = 1048576;
        request.MaxAttempts = 10;
        request.Cancel = &DownloadAbortRequested;
        request.OnOpened = ShowConnecting;
        request.OnProgress = ShowDownloadProgress;
        request.FileName = work.Path() + "DLList.ini";
        ShowStatus("Checking for Updates ... Wait Please", StatusPauseMs);
        if (HttpDownload(request) != WebOk) {
            ShowStatus("CheckAdditionalDownloadsThread ... Error: Get DlFileList", StatusPauseMs);
        } else {
            plat::SetHidden(request.FileName, true);
            ShowStatus("Download Latest Additional Downloads List ... OK", StatusPauseMs);
            std::vector<AdditionalEntry> entries = ReadDownloadList(UserListFile, 1);
            std::vector<AdditionalEntry> published = ReadDownloadList(request.FileName, 0);
            entries.insert(entries.end(), published.begin(), published.end());
            AdditionalList.Replace(std::move(entries));
            // The combo box belongs to the main thread.
            plat::PostEvent({plat::EventListReplaced, DownloadCenterWindow, AdditionalCombo, plat::GadgetEventDefault});
        }
    }
}

std::vector<std::string> UserListExampleTexts() {
    return {"; This is Example of UserDL.ini. Do not remove this lines",
            "[SomeFileName]",
            "URL=http://www.example.com/SomeFileName.zip",
            "Size=47941",
            "Description=Some text without line feed",
            "; Optional fields",
            "MD5Digest=452e67040aadf29b7ab64777e575c25dd7a47036",
            "PostDate=2017-01-22 20:24",
            "; Create Catalog in Clover Local Repository for saving SomeFileName.zip",
            "Catalog=Drivers"};
}

void WriteUserListExample() {
    if (plat::FileExists(UserListFile)) return;
    std::string text;
    for (const std::string& line : UserListExampleTexts()) text += "; " + line + "\r\n";
    plat::WriteWholeFile(UserListFile, text);
}

std::vector<RecoveryEntry> BuiltInRecoveryEntries() {
    const std::string host = "http://swcdn.apple.com/content/downloads/";
    return {
        {"(11C74) Lion 2011-10-12 432 MB", host + "51/52/031-11740/hyiaz9r9gb8n5l8hwh021d8mqhk8z7b2ld/RecoveryHDUpdate.pkg"},
        {"(13A603) Mavericks 2013-10-22 457 MB",
         host + "53/08/031-1228/xiz5lsh97ko95otmomf4cclp7bx1t5hq7y/RecoveryHDUpdate.pkg"},
        {"(14D131) Yosemite 2015-04-23 480 MB",
         host + "21/09/031-20634/8d84o1ky5gn2agnf5kiz9eed134n7y3q4c/RecoveryHDUpdate.pkg"},
        {"(15C50) El Capitan 2015-12-14 453 MB",
         host + "08/58/031-45768/yy0xr85ltis3a7mxuqf3zgaw7sovupckd7/RecoveryHDUpdate.pkg"},
        {"(16B2657) Sierra 2016-10-27 464 MB",
         host + "01/53/031-86778/pnekzincp6rkf5iu91onj1bm5mw1gotnwg/RecoveryHDUpdate.pkg"},
    };
}

}  // namespace vu
