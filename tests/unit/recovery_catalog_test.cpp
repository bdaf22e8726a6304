// The Recovery HD list update against synthetic catalogs, package metadata and distribution files
// served by the local fault server, and the walks and names underneath.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "app/event_loop.h"
#include "app/main_window.h"
#include "app/register_operations.h"
#include "app/settings_file.h"
#include "core/globals.h"
#include "core/settings.h"
#include "core/transfer_progress.h"
#include "fault_server.h"
#include "net/download_lists.h"
#include "net/recovery_catalog.h"
#include "net/recovery_server.h"
#include "net/recovery_update.h"
#include "net/xml_tree.h"
#include "platform/files.h"
#include "platform/sim/sim.h"

namespace fs = std::filesystem;

namespace vu {
namespace {

struct Package {
    std::string digest, url, size;
};

// A product of a catalog as Apple writes it: its packages before its PostDate.
std::string Product(const std::string& id, const std::vector<Package>& packages, const std::string& date) {
    std::string xml = "<key>" + id + "</key><dict><key>Packages</key><array>";
    for (const auto& p : packages)
        xml += "<dict><key>Digest</key><string>" + p.digest + "</string><key>MetadataURL</key><string>" + p.url +
               ".pkm</string><key>Size</key><integer>" + p.size + "</integer><key>URL</key><string>" + p.url +
               "</string></dict>";
    return xml + "</array><key>PostDate</key><date>" + date + "</date><key>ServerMetadataURL</key><string>x.smd</string></dict>";
}

std::string Catalog(const std::vector<std::string>& products) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict><key>CatalogVersion</key>"
                      "<integer>2</integer><key>Products</key><dict>";
    for (const auto& p : products) xml += p;
    return xml + "</dict></dict></plist>\n";
}

std::string PackageInfo(const std::string& identifier) {
    return "<?xml version=\"1.0\"?>\n<pkg-info format-version=\"2\" identifier=\"" + identifier + "\" version=\"1\"/>\n";
}

std::string Distribution(const std::string& build) {
    return "<installer-gui-script minSpecVersion=\"1\"><title>SU_TITLE</title><auxinfo><dict><key>VERSION</key>"
           "<string>10.13</string><key>BUILD</key><string>" + build + "</string></dict></auxinfo></installer-gui-script>";
}

std::vector<std::string> Titles(const std::vector<RecoveryEntry>& entries) {
    std::vector<std::string> titles;
    for (const auto& e : entries) titles.push_back(e.Title);
    return titles;
}

// The built-in packages and the recovery server's entries, which every update offers.
std::vector<std::string> BuiltInTitlesSorted() {
    std::vector<std::string> titles = Titles(BuiltInRecoveryEntries()), server = Titles(RecoveryServerEntries());
    titles.insert(titles.end(), server.begin(), server.end());
    std::sort(titles.begin(), titles.end());
    return titles;
}

TEST(RecoveryCatalog, NamesAndAddresses) {
    EXPECT_EQ(MacOsName("16G29"), "Sierra");
    EXPECT_EQ(MacOsName("17A365"), "High Sierra");
    EXPECT_EQ(MacOsName("9L30"), "Leopard");
    EXPECT_EQ(MacOsName("18A391"), "macOS");
    EXPECT_EQ(MacOsName(""), "macOS");
    const std::string url = "http://swcdn.apple.com/content/downloads/21/09/031-20634/8d84/RecoveryHDUpdate.pkg";
    EXPECT_EQ(ProductCodeFromUrl(url), "031-20634");
    // A host name with a dash is no product.
    EXPECT_EQ(ProductCodeFromUrl("http://my-mirror.org/a/b/RecoveryHDUpdate.pkg"), "");
    EXPECT_EQ(PackageMetadataUrl("http://h/a/macOSUpd10.13.RecoveryHDUpdate.pkg"), "http://h/a/macOSUpd10.13.RecoveryHDUpdate.pkm");
    EXPECT_EQ(DistributionUrl(url), "http://swcdn.apple.com/content/downloads/21/09/031-20634/8d84/031-20634.English.dist");
}

TEST(RecoveryCatalog, BuildsFromIdentifiersAndDates) {
    struct Case {
        const char* identifier;
        std::optional<std::string> build;
    } cases[] = {{"com.apple.pkg.RecoveryHDUpdate.16G29", "16G29"},
                 {"com.apple.pkg.RecoveryHDMetaDmg", ""},  // a word: the distribution file decides
                 {"com.apple.pkg.1", ""},
                 {"9L30", "9L30"}};
    for (const auto& c : cases) {
        XmlDocument doc = ParseXml(PackageInfo(c.identifier));
        EXPECT_EQ(BuildFromIdentifier(doc.root), c.build) << c.identifier;
    }
    EXPECT_EQ(BuildFromIdentifier(ParseXml("<pkg-info/>").root), std::nullopt);

    int64_t value = 0;
    std::string day;
    EXPECT_TRUE(ParsePostDate("2017-07-19T17:41:52Z", value, day));
    EXPECT_EQ(value, 1500486112);
    EXPECT_EQ(day, "2017-07-19");
    for (const char* bad : {"2017-02-29T00:00:00Z", "2017-07-19 17:41:52", "2017-13-01T00:00:00Z", ""})
        EXPECT_FALSE(ParsePostDate(bad, value, day)) << bad;
}

TEST(RecoveryCatalog, MalformedDocumentsSayWhere) {
    XmlDocument doc = ParseXml("<plist>\n<dict>\n</plist>");
    ASSERT_EQ(doc.outcome, XmlDocument::Malformed);
    EXPECT_EQ(XmlErrorText(doc.error), "Error in the XML file:\rMessage: mismatched tag\rLine: 3   Character: 3");
    EXPECT_EQ(ParseXml("").outcome, XmlDocument::NoDocument);
    // Nesting deep enough to exhaust a recursive walk's stack is refused while parsing.
    std::string deep;
    for (int i = 0; i < 100000; i++) deep += "<a>";
    EXPECT_EQ(ParseXml(deep).outcome, XmlDocument::Malformed);
}

class RecoveryUpdate : public test::ServedSuite<RecoveryUpdate> {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_->Running());
        server_->SetRules("[]");
        setenv("VU_CATALOG_HOST", server_->Origin().c_str(), 1);
        sim::Reset();
        SetSettingsStartValues();
        ReadProgramIdentity();
        RecoveryList.Clear();
        RegisterOperations();
        BuildMainWindow();
        sim::OnCanvas([this](int, const std::vector<plat::DrawOp>& picture) {
            std::lock_guard<std::mutex> l(lock_);
            for (const auto& op : picture)
                if (op.kind == plat::DrawOp::Text && op.text.find("Error") != std::string::npos) errors_.push_back(op.text);
        });
    }
    void TearDown() override {
        unsetenv("VU_CATALOG_HOST");
        sim::Reset();
        for (const auto& entry : fs::directory_iterator(root_)) fs::remove_all(entry.path());
    }

    static void Serve(const std::string& path, const std::string& body) {
        fs::create_directories(fs::path(root_ + path).parent_path());
        std::ofstream(root_ + path, std::ios::binary) << body;
    }
    std::string Url(const std::string& path) { return server_->Url(path); }

    std::mutex lock_;
    std::vector<std::string> errors_;
};


TEST_F(RecoveryUpdate, EveryFetchFailingLeavesExactlyTheBuiltInEntries) {
    UpdateRecoveryList(CopySettings());
    EXPECT_EQ(Titles(RecoveryList.Entries()), BuiltInTitlesSorted());
    EXPECT_EQ(errors_, std::vector<std::string>(5, "Update RecoveryHD List ... Error: Get SUCatalog"));
    EXPECT_TRUE(sim::Messages().empty());
}

// The catalogs of one update, each with a fault of its own, and what the list holds afterwards.
TEST_F(RecoveryUpdate, CatalogsAreScannedInTurnAndTheNewestPerVersionIsOffered) {
    const auto& series = CatalogSeries();
    const std::string dl = "/content/downloads/", sierraOld = dl + "01/01/031-10001/aa/RecoveryHDUpdate.pkg",
                      sierraNew = dl + "02/02/031-10002/bb/RecoveryHDUpdate.pkg", other = dl + "02/02/031-10002/bb/Other.pkg",
                      highSierra = dl + "03/03/091-30003/cc/macOSUpd10.13.RecoveryHDUpdate.pkg";
    Serve(series[0].path,  // REGULAR: two Sierra builds, the second product with a second package
          Catalog({Product("031-10001", {{"D1", Url(sierraOld), "400000000"}}, "2017-03-27T17:00:00Z"),
                   Product("031-10002", {{"D2", Url(sierraNew), "480000000"}, {"D9", Url(other), "5"}},
                           "2017-07-19T17:00:00Z"),
                   Product("091-30003", {{"D3", Url(highSierra), "490000000"}}, "2017-09-25T17:00:00Z")}));
    // CUSTOMERSEED is missing: its text, then the next catalog.
    Serve(series[2].path, Catalog({Product("031-10002", {{"D2", Url(sierraNew), "480000000"}}, "2017-07-19T17:00:00Z")}));
    Serve(series[3].path, "<plist>\n<dict>\n</plist>");  // BETA is malformed
    Serve(series[4].path, Catalog({}));
    Serve(dl + "01/01/031-10001/aa/RecoveryHDUpdate.pkm", PackageInfo("com.apple.pkg.RecoveryHDUpdate.16E195"));
    Serve(dl + "02/02/031-10002/bb/RecoveryHDUpdate.pkm", PackageInfo("com.apple.pkg.RecoveryHDUpdate.16G29"));
    Serve(dl + "03/03/091-30003/cc/macOSUpd10.13.RecoveryHDUpdate.pkm", PackageInfo("com.apple.pkg.RecoveryHDMetaDmg"));
    Serve(dl + "03/03/091-30003/cc/091-30003.English.dist", Distribution("17A365"));

    UpdateRecoveryList(CopySettings());

    std::vector<std::string> titles = BuiltInTitlesSorted();
    titles.push_back("(16G29) Sierra 2017-07-19 " + SizeText(480000000, 0));
    titles.push_back("(17A365) High Sierra 2017-09-25 " + SizeText(490000000, 0));
    std::sort(titles.begin(), titles.end());
    std::vector<RecoveryEntry> entries = RecoveryList.Entries();
    EXPECT_EQ(Titles(entries), titles);
    auto sierra = std::find_if(entries.begin(), entries.end(), [](auto& e) { return e.Build == "16G29"; });
    ASSERT_NE(sierra, entries.end());
    EXPECT_EQ(sierra->Url, Url(sierraNew));  // the product's first matching package, not Other.pkg
    EXPECT_EQ(sierra->Digest, "D2");
    EXPECT_EQ(sierra->Size, "480000000");
    EXPECT_EQ(sierra->ProductCode, "031-10002");

    EXPECT_EQ(errors_, std::vector<std::string>{"Update RecoveryHD List ... Error: Get SUCatalog"});
    ASSERT_EQ(sim::Messages().size(), 1u);
    EXPECT_EQ(sim::Messages()[0].title, "Error");
    EXPECT_EQ(sim::Messages()[0].text, "Error in the XML file:\rMessage: mismatched tag\rLine: 3   Character: 3");
    // D2 in two catalogs is one entry: REGULAR, DEVELOPER and SEEDSINGLE each examined three.
    int metadataFetches = 0;
    for (const auto& request : server_->Log()) metadataFetches += request.path.ends_with(".pkm");
    EXPECT_EQ(metadataFetches, 9);

    // The main thread writes the list into the settings file, when the loop serves the update's
    // request: the Configuration window may be changing the settings meanwhile.
    EXPECT_FALSE(plat::FileExists(SettingsFilePath()));
    for (plat::Event e; (e = plat::WaitEvent(0)).type != plat::EventNone;) DispatchEvent(e.type, e.window, e.number, e.kind);
    std::string settings;
    ASSERT_TRUE(plat::ReadWholeFile(SettingsFilePath(), settings));
    EXPECT_NE(settings.find("(16G29) Sierra 2017-07-19 " + SizeText(480000000, 0) + " = " + Url(sierraNew)),
              std::string::npos);
}

TEST_F(RecoveryUpdate, AMissingMetadataEndsThePassButKeepsWhatWasFound) {
    const std::string pkg = "/content/downloads/04/04/031-40004/dd/RecoveryHDUpdate.pkg";
    Serve(CatalogSeries()[0].path, Catalog({Product("031-40004", {{"D4", Url(pkg), "0"}}, "2016-01-02T03:04:05Z")}));
    UpdateRecoveryList(CopySettings());
    EXPECT_EQ(errors_.front(), "Update RecoveryHD List ... Error: CheckRecoveryHDThread");
    std::vector<std::string> titles = Titles(RecoveryList.Entries());
    EXPECT_NE(std::find(titles.begin(), titles.end(), " 2016-01-02"), titles.end());
}

// Each job has its own cancel: a cancel of another operation (Backup, Format) does not stop the
// update, and the update's own (the user quit meanwhile) keeps the list it would have replaced.
TEST_F(RecoveryUpdate, OnlyItsOwnCancelStopsTheUpdateAndThenTheListStays) {
    const std::string pkg = "/content/downloads/04/04/031-40004/dd/RecoveryHDUpdate.pkg";
    Serve(CatalogSeries()[0].path, Catalog({Product("031-40004", {{"D4", Url(pkg), "7"}}, "2016-01-02T03:04:05Z")}));
    Serve("/content/downloads/04/04/031-40004/dd/RecoveryHDUpdate.pkm", PackageInfo("com.apple.pkg.RecoveryHDUpdate.15G31"));
    AbortRequested = 1;
    UpdateRecoveryList(CopySettings());
    AbortRequested = 0;
    std::vector<std::string> titles = Titles(RecoveryList.Entries());
    EXPECT_NE(std::find(titles.begin(), titles.end(), "(15G31) El Capitan 2016-01-02 " + SizeText(7, 0)), titles.end());

    RecoveryList.Replace({{"kept", "http://kept/x.pkg"}});
    while (plat::WaitEvent(0).type != plat::EventNone) {
    }
    DownloadAbortRequested = 1;
    UpdateRecoveryList(CopySettings());
    DownloadAbortRequested = 0;
    EXPECT_EQ(Titles(RecoveryList.Entries()), std::vector<std::string>{"kept"});
    for (plat::Event e; (e = plat::WaitEvent(0)).type != plat::EventNone;)
        EXPECT_EQ(e.type, plat::EventRefresh);  // nothing new to show or to write
}

}  // namespace
}  // namespace vu
