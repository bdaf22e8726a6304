// The Recovery HD list update; see recovery_update.h.
#include "net/recovery_update.h"

#include "core/gadget_numbers.h"
#include "core/globals.h"
#include "core/status_bar.h"
#include "net/download_callbacks.h"
#include "net/download_center.h"
#include "net/download_hosts.h"
#include "net/download_lists.h"
#include "net/http_download.h"
#include "net/recovery_catalog.h"
#include "net/recovery_server.h"
#include "net/xml_tree.h"
#include "platform/gui.h"

namespace vu {

namespace {

struct FetchTexts {
    const char* failed;      // the fetch failed
    const char* noDocument;  // the body is no document
};
const FetchTexts kCatalogTexts = {"Update RecoveryHD List ... Error: Get SUCatalog",
                                  "Update RecoveryHD List ... Error:  Catch XML SUCatalog"};
const FetchTexts kPackageTexts = {"Update RecoveryHD List ... Error: CheckRecoveryHDThread",
                                  "Update RecoveryHD List ... Error: Get RecoveryHD Info"};

// Fetches a document into memory and parses it; false, with its text on the status bar (or the
// box of a malformed document), when either failed.
bool FetchDocument(const std::string& url, const std::string& label, int32_t chunkSize, const FetchTexts& texts,
                   XmlElement& root) {
    DownloadRequest request;
    request.Url = url;
    request.Destination = DownloadToMemory;
    request.ChunkSize = chunkSize;
    request.MaxAttempts = 10;
    request.Cancel = &DownloadAbortRequested;
    request.OnOpened = ShowConnecting;
    request.OnProgress = ShowDownloadProgress;
    request.FileName = label;
    if (HttpDownload(request) != WebOk) {
        ShowStatus(texts.failed, StatusPauseMs);
        return false;
    }
    XmlDocument document = ParseXml(request.Buffer);
    request.Buffer = std::string();
    switch (document.outcome) {
        case XmlDocument::Parsed:
            root = std::move(document.root);
            return true;
        case XmlDocument::NoDocument:
            ShowStatus(texts.noDocument, StatusPauseMs);
            return false;
        case XmlDocument::Malformed:
            plat::MessageBox("Error", XmlErrorText(document.error), plat::MbOk);
            return false;
    }
    return false;
}

}  // namespace

const std::vector<CatalogSource>& CatalogSeries() {
    static const std::vector<CatalogSource> series = {
        {"REGULAR",
         "/content/catalogs/others/"
         "index-10.13-10.12-10.11-10.10-10.9-mountainlion-lion-snowleopard-leopard.merged-1.sucatalog"},
        {"CUSTOMERSEED",
         "/content/catalogs/others/"
         "index-10.13customerseed-10.13-10.12-10.11-10.10-10.9-mountainlion-lion-snowleopard-leopard.merged-1.sucatalog"},
        {"DEVELOPER",
         "/content/catalogs/others/"
         "index-10.13seed-10.13-10.12-10.11-10.10-10.9-mountainlion-lion-snowleopard-leopard.merged-1.sucatalog"},
        {"BETA",
         "/content/catalogs/others/"
         "index-10.13beta-10.13-10.12-10.11-10.10-10.9-mountainlion-lion-snowleopard-leopard.merged-1.sucatalog"},
        {"SEEDSINGLE", "/content/catalogs/others/index-10.13seed.merged-1.sucatalog"},
    };
    return series;
}

void ScanCatalog(const std::string& url, const std::string& kind, std::vector<RecoveryEntry>& list) {
    if (url.empty()) return;
    XmlElement catalog;
    if (!FetchDocument(url, "Download " + kind, 262144, kCatalogTexts, catalog)) return;
    CollectRecoveryPackages(catalog, "RecoveryHD", list);
    catalog = XmlElement();
    if (list.empty()) {
        ShowStatus("Update RecoveryHD List ... Error:  RecoveryHD Source List is Empty", StatusPauseMs);
        return;
    }
    for (RecoveryEntry& entry : list) {
        std::string package = OnDownloadHost(DownloadHost::Apple, entry.Url);
        XmlElement metadata;
        if (!FetchDocument(PackageMetadataUrl(package), "Get HDRecovery Revision", 1048576, kPackageTexts, metadata))
            return;
        if (auto build = BuildFromIdentifier(metadata)) entry.Build = *build;
        if (entry.Build.empty()) {
            XmlElement distribution;
            if (!FetchDocument(DistributionUrl(package), "Get HDRecovery Revision", 1048576, kPackageTexts,
                               distribution))
                return;
            ReadDistributionBuild(distribution, entry);
        }
        entry.Title = RecoveryTitle(entry);
    }
}

void FinishRecoveryList(std::vector<RecoveryEntry> list) {
    // Apple's recovery server is offered beside the built-in packages, whatever the catalogs held.
    std::vector<RecoveryEntry> builtIns = BuiltInRecoveryEntries(), server = RecoveryServerEntries();
    builtIns.insert(builtIns.end(), server.begin(), server.end());
    RecoveryList.Replace(FinishedRecoveryEntries(std::move(list), builtIns));
    // The combo box and the settings belong to the main thread, where the Configuration window
    // may be changing the settings right now.
    plat::PostEvent({plat::EventListReplaced, DownloadCenterWindow, RecoveryCombo, plat::GadgetEventDefault});
    plat::PostEvent({plat::EventWriteSettings, MainWindow, 0, plat::GadgetEventDefault});
}

void UpdateRecoveryList(const SettingsRecord& settings) {
    ShowStatus("Checking for Updates ... Wait Please", StatusPauseMs);
    std::vector<RecoveryEntry> list;
    for (const CatalogSource& source : CatalogSeries()) {
        if (DownloadAbortRequested) break;
        ScanCatalog(HostAddress(DownloadHost::Catalog, source.path), source.kind, list);
    }
    if (!settings.SUCatalogURL_User_Added.empty() && !DownloadAbortRequested)
        ScanCatalog(settings.SUCatalogURL_User_Added, "User_Added", list);
    // A stopped update found only part of the list: the previous one stays.
    if (!DownloadAbortRequested) FinishRecoveryList(std::move(list));
    ShowStatus("Update RecoveryHD List ... Ended", StatusPauseMs);
    // The drive list belongs to the main thread and to the operation that holds OperationBusy.
    if (OperationBusy == 0) plat::PostEvent({plat::EventRefresh, MainWindow, 0, plat::GadgetEventDefault});
}

}  // namespace vu
