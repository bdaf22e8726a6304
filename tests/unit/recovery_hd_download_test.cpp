// "DL" on a Recovery HD entry, end to end on the simulated PC: a catalog, package metadata and the
// Recovery HD packages written by tests/apple/make_fixtures.py, served by the local fault server,
// and its server images behind the stand-in for Apple's recovery server (tests/net/recovery_server.py).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <tuple>

#include "app/event_loop.h"
#include "app/main_window.h"
#include "app/register_operations.h"
#include "core/globals.h"
#include "core/settings.h"
#include "core/work_folder.h"
#include "fault_server.h"
#include "net/download_center.h"
#include "net/download_jobs.h"
#include "net/recovery_list.h"
#include "net/recovery_server.h"
#include "net/recovery_update.h"
#include "platform/files.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_files.h"
#include "platform/system.h"
#include "tools/recovery_hd_download.h"

namespace fs = std::filesystem;

namespace vu {
namespace {

const std::string kFixtures = VU_TEST_APPLE_DIR;
const std::string kPackage = "/content/downloads/02/02/031-10002/bb/RecoveryHDUpdate.pkg";
const std::string kNoMeta = "/content/downloads/05/05/031-50005/ee/RecoveryHDUpdate.pkg";
const std::string kMismatch = "/content/downloads/06/06/031-60006/ff/RecoveryHDUpdate.pkg";
const std::string kTitle = "(16G29) Sierra 2017-07-19 256 KB";

std::string HostBytes(const std::string& hostPath) {
    std::ifstream in(hostPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The stand-in's boards: macOS 14's image is sound; the others each carry one fault.
const char kBoards[] = R"({"Mac-827FAC58A8FDFA22": "/good/BaseSystem", "Mac-7BA5B2DFE22DDD8C": "/unsigned/BaseSystem",
                          "Mac-00BE6ED71E35EB86": "/other/BaseSystem", "Mac-2BD1B31983FE1663": "/damaged/BaseSystem"})";

class RecoveryHdDownload : public test::ServedSuite<RecoveryHdDownload> {
public:
    static const char* Script() { return VU_RECOVERY_SERVER; }
    static void Seed() {
        for (auto [folder, dmg, list] : {std::tuple{"good", "BaseSystem.dmg", "signed.chunklist"},
                                         {"unsigned", "BaseSystem.dmg", "unsigned.chunklist"},
                                         {"other", "BaseSystem.dmg", "other-key.chunklist"},
                                         {"damaged", "damaged.dmg", "signed.chunklist"}}) {
            fs::create_directories(root_ + "/" + folder);
            fs::copy_file(kFixtures + "/server/" + dmg, root_ + "/" + folder + "/BaseSystem.dmg");
            fs::copy_file(kFixtures + "/server/" + list, root_ + "/" + folder + "/BaseSystem.chunklist");
        }
        std::ofstream(root_ + "/recovery.json") << kBoards;
        for (auto [from, to] : {std::pair{"RecoveryHDUpdate.pkg", kPackage}, std::pair{"no-meta.pkg", kNoMeta},
                                std::pair{"chunklist-mismatch.pkg", kMismatch}}) {
            fs::create_directories(fs::path(root_ + to).parent_path());
            fs::copy_file(kFixtures + "/" + from, root_ + to);
        }
        std::ofstream(root_ + kPackage.substr(0, kPackage.size() - 4) + ".pkm")
            << "<pkg-info identifier='com.apple.pkg.RecoveryHDUpdate.16G29'/>";
        const std::string catalog = root_ + CatalogSeries()[0].path;
        fs::create_directories(fs::path(catalog).parent_path());
        std::ofstream(catalog) << "<plist version='1.0'><dict><key>Products</key><dict><key>031-10002</key><dict>"
                                  "<key>Packages</key><array><dict><key>Digest</key><string>D2</string><key>Size</key>"
                                  "<integer>" << PackageSize() << "</integer><key>URL</key><string>"
                               << server_->Url(kPackage)
                               << "</string></dict></array><key>PostDate</key><date>2017-07-19T17:00:00Z</date>"
                                  "</dict></dict></dict></plist>";
    }

protected:
    void SetUp() override {
        ASSERT_TRUE(server_->Running());
        setenv("VU_CATALOG_HOST", server_->Origin().c_str(), 1);
        setenv("VU_RECOVERY_HOST", server_->Origin().c_str(), 1);
        setenv("VU_CHUNKLIST_KEYS", (kFixtures + "/chunklist-keys.txt").c_str(), 1);
        sim::Reset();
        SetSettingsStartValues();
        ReadProgramIdentity();
        RegisterOperations();
        OperationBusy = AbortRequested = 0;
        DownloadBusy = 0;
        RecoveryList.Clear();
        ResumeMaxAttemptsNumber = 3;
        Start();
    }
    void TearDown() override {
        unsetenv("VU_CATALOG_HOST");
        unsetenv("VU_RECOVERY_HOST");
        unsetenv("VU_CHUNKLIST_KEYS");
        sim::Reset();
    }

    // A fresh PC with an empty image folder, no rules, no log and no transcript.
    void Start() {
        sim::Reset();
        BuildMainWindow();
        plat::CreateFolder("D:\\Images");
        ZarnImageLocalRepo = "D:\\Images\\";
        server_->SetRules("[]");
        {
            std::lock_guard<std::mutex> l(lock_);
            statuses_.clear();
        }
        sim::OnCanvas([this](int, const std::vector<plat::DrawOp>& picture) {
            for (const auto& op : picture) {
                if (op.kind != plat::DrawOp::Text || op.text.empty()) continue;
                {
                    std::lock_guard<std::mutex> l(lock_);
                    statuses_.push_back(op.text);
                }
                // The user's "Cancel DL", once, at the first status text holding `cancelAt`.
                if (!cancelAt.empty() && op.text.find(cancelAt) != std::string::npos) {
                    cancelAt.clear();
                    DispatchEvent(plat::EventGadget, MainWindow, DlCenterButton, 0);
                }
            }
        });
    }
    static int64_t PackageSize() { return int64_t(fs::file_size(root_ + kPackage)); }
    static RecoveryEntry Entry(const std::string& path, int64_t size) {
        RecoveryEntry entry{kTitle, server_->Url(path)};
        entry.Size = std::to_string(size);
        entry.Build = "16G29";
        return entry;
    }
    bool Saw(const std::string& text) {
        std::lock_guard<std::mutex> l(lock_);
        return std::find(statuses_.begin(), statuses_.end(), text) != statuses_.end();
    }
    static std::vector<std::string> BoxTitles() {
        std::vector<std::string> titles;
        for (const auto& m : sim::Messages()) titles.push_back(m.title);
        return titles;
    }
    static std::vector<std::string> Images() {
        std::vector<std::string> names;
        for (const auto& entry : plat::ListFolder("D:\\Images\\")) names.push_back(entry.name);
        std::sort(names.begin(), names.end());
        return names;
    }
    int PackageRequests() {
        int n = 0;
        for (const auto& request : server_->Log()) n += request.path.find("RecoveryHDUpdate.pkg") != std::string::npos;
        return n;
    }
    // What every run must leave behind, whatever its outcome.
    static void ExpectRestored(const std::string& what) {
        EXPECT_EQ(plat::GetGadgetText(DlCenterButton), "DL Center") << what;
        EXPECT_EQ(OperationBusy, 0) << what;
        EXPECT_EQ(AbortRequested, 0) << what;
        EXPECT_EQ(DownloadBusy, 0) << what;
        std::string temp = plat::TempDirectory();
        EXPECT_TRUE(plat::ListFolder(temp + "\\", "ZarnTemp*").empty()) << what << ": a working folder is left";
    }

    std::mutex lock_;
    std::vector<std::string> statuses_;
    std::string cancelAt;
};


TEST_F(RecoveryHdDownload, ADroppedDownloadIsResumedAndTheImageIsTheRecoveryVolume) {
    UpdateRecoveryList(CopySettings());
    std::vector<RecoveryEntry> entries = RecoveryList.Entries();
    auto found = std::find_if(entries.begin(), entries.end(), [](auto& e) { return e.Title.starts_with("(16G29)"); });
    ASSERT_NE(found, entries.end());
    const std::string title = found->Title;
    server_->SetRules(R"([{"path": ")" + kPackage + R"(", "drop_at": 0.4, "times": 1}])");

    // The user's choice and "DL", handed to the loop's dispatch after what the update posted.
    OpenDownloadCenter();
    for (plat::Event e; (e = plat::WaitEvent(0)).type != plat::EventNone;) DispatchEvent(e.type, e.window, e.number, e.kind);
    sim::SelectItem(RecoveryCombo, int(found - entries.begin()));
    sim::Click(DcDlButton);
    for (plat::Event e; (e = plat::WaitEvent(0)).type != plat::EventNone;) DispatchEvent(e.type, e.window, e.number, e.kind);
    for (int i = 0; i < 3000 && OperationBusy != 0; i++) std::this_thread::sleep_for(std::chrono::milliseconds(10));

    const std::string volume = HostBytes(kFixtures + "/volume.hfs");
    ASSERT_EQ(Images(), std::vector<std::string>{"RecoveryHD-16G29.hfs"});
    EXPECT_TRUE(HostBytes(sim::DriveRoot('D') + "/Images/RecoveryHD-16G29.hfs") == volume);
    std::vector<test::FaultServer::Request> log = server_->Log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1].range.rfind("bytes=", 0), 0u) << log[1].range;
    EXPECT_TRUE(Saw("RecoveryHD.pkg Downloaded"));
    EXPECT_TRUE(Saw("Extracting HFS-Image from RecoveryHD.pkg ..."));
    EXPECT_TRUE(Saw("Done"));
    ASSERT_EQ(BoxTitles(), std::vector<std::string>{"Info"});
    EXPECT_EQ(sim::Messages()[0].text,
              "\tSummary Information:\r\n\r\nDL HD Recovery file For MACOSX: \"" + title +
                  "\" ........... Success\r\nExtract HFS-Image (*.hfs) from HD Recovery file ................. Success\r\n"
                  "Saved in the Directory: \"D:\\Images\\\" ........... Success\r\n\r\n"
                  "An ZarnImage file can be restored to the required Partition\r\nusing the button [Restore ...].");
    ExpectRestored("first download");

    // The same build again, as an entry restored from the settings file carries it (a title and an
    // address): a numbered image beside the first, which stays as it was.
    std::string image;
    EXPECT_TRUE(DownloadRecoveryHd(RecoveryEntry{title, server_->Url(kPackage)}, CopySettings(), &image));
    EXPECT_EQ(image, "D:\\Images\\RecoveryHD-16G29 (2).hfs");
    EXPECT_TRUE(HostBytes(sim::DriveRoot('D') + "/Images/RecoveryHD-16G29.hfs") == volume);
    ExpectRestored("second download");

    // An entry without a usable build (once refused) is named after the build its volume holds.
    RecoveryEntry noBuild{"Sierra 2017-07-19", server_->Url(kPackage)};
    noBuild.Build = "..\\..\\16G29";
    EXPECT_TRUE(DownloadRecoveryHd(noBuild, CopySettings(), &image));
    EXPECT_EQ(image, "D:\\Images\\RecoveryHD-16G29 (3).hfs");
    ExpectRestored("entry without a build");
}

// Each way a run can end without an image: what it tells the user, and that nothing is left.
TEST_F(RecoveryHdDownload, EveryFailureAndCancelLeavesNothing) {
    const int64_t size = PackageSize();
    RecoveryEntry good = Entry(kPackage, size), wrongSize = Entry(kPackage, size + 1),
                  noMeta = Entry(kNoMeta, int64_t(fs::file_size(root_ + kNoMeta))),
                  mismatch = Entry(kMismatch, int64_t(fs::file_size(root_ + kMismatch)));
    struct Case {
        const char* what;
        RecoveryEntry entry;
        std::string cancelAt, box, boxText, status;
        bool fetched = true;
        std::string imageFolder = "D:\\Images\\";
        char fullDrive = 0;
    } cases[] = {
        {"cancel while downloading", good, "RecoveryHD.pkg (", "Information", "Download aborted",
         "File RecoveryHD.pkg Download aborted"},
        {"cancel while extracting", good, "BaseSystem.dmg:", "Information", "Extraction aborted",
         "Extract HFS-Image from RecoveryHD.pkg aborted"},
        {"wrong size", wrongSize, "", "Error",
         "Wrong size of RecoveryHD.pkg: " + std::to_string(size) + " bytes received, the catalog names " +
             std::to_string(size + 1) + " bytes", ""},
        {"no RecoveryHDMeta.dmg", noMeta, "", "Error",
         "Can't extract the HFS-Image from RecoveryHD.pkg:\r\nRecoveryHD.pkg holds no RecoveryHDMeta.dmg",
         "Extract HFS-Image from RecoveryHD.pkg ErrorCode: 4"},
        {"BaseSystem.dmg against its chunk list", mismatch, "", "Error",
         "Can't extract the HFS-Image from RecoveryHD.pkg:\r\nBaseSystem.dmg does not match BaseSystem.chunklist: "
         "its chunk 2 differs from its chunk list",
         "Extract HFS-Image from RecoveryHD.pkg ErrorCode: 4"},
        {"image folder gone", good, "", "Error", "", "Extract HFS-Image from RecoveryHD.pkg ErrorCode: 3", true,
         "D:\\Gone\\"},
        {"download slot taken", good, "", "Error!", "Can't download HDRecovery for MAC OS X " + kTitle, "", false},
        {"no room for the package", good, "", "Error", "", "", false, "D:\\Images\\", 'C'},
    };
    for (auto& c : cases) {
        Start();
        ZarnImageLocalRepo = c.imageFolder;
        cancelAt = c.cancelAt;
        if (c.fullDrive) sim::SetFreeDiskSpace(c.fullDrive, 1000);
        bool holdSlot = std::string(c.what) == "download slot taken";
        WorkFolder held;  // the working folder of the download that holds the slot
        if (holdSlot) {
            ASSERT_TRUE(ClaimDownloadBusy());
            ASSERT_TRUE(held.Create());
        }
        std::string image = "untouched";
        EXPECT_FALSE(DownloadRecoveryHd(c.entry, CopySettings(), &image)) << c.what;
        if (holdSlot) {
            EXPECT_TRUE(plat::FolderExists(held.Path())) << "the other download's working folder is gone";
            held.Delete();
            ReleaseDownloadBusy();
        }
        EXPECT_EQ(image, "") << c.what;
        EXPECT_TRUE(cancelAt.empty()) << c.what << ": never reached " << cancelAt;
        ASSERT_EQ(BoxTitles(), std::vector<std::string>{c.box}) << c.what;
        if (!c.boxText.empty()) {
            EXPECT_EQ(sim::Messages()[0].text, c.boxText) << c.what;
        }
        if (c.fullDrive) {
            EXPECT_TRUE(sim::Messages()[0].text.starts_with("Not enough free space on C:\\")) << sim::Messages()[0].text;
        }
        if (!c.status.empty()) {
            EXPECT_TRUE(Saw(c.status)) << c.what << ": no " << c.status;
        }
        EXPECT_EQ(PackageRequests() > 0, c.fetched) << c.what;
        EXPECT_TRUE(Images().empty()) << c.what;
        ExpectRestored(c.what);
    }
}

RecoveryEntry ServerEntry(const std::string& boardId) {
    for (const RecoveryEntry& entry : RecoveryServerEntries())
        if (RecoveryBoardOf(entry)->boardId == boardId) return entry;
    return {};
}

// The requests of a run, "G /" for a GET of "/", "P" for the POST: the image's trailer and table
// come first, alone; a reset is resumed with a range, an expired token with a new session, a new
// answer and a range.
TEST_F(RecoveryHdDownload, AServerImageIsResumedVerifiedAndNamedAfterTheBuildServed) {
    const std::string dmg = " G /good/BaseSystem.dmg", run = "G / P G /good/BaseSystem.chunklist" + dmg + dmg + dmg;
    const std::pair<std::string, std::string> cases[] = {
        {"", run}, {R"("drop_at": 0.4)", run + dmg}, {R"("expire_at": 0.6)", run + dmg + " G / P" + dmg}};
    for (const auto& [rule, requests] : cases) {
        Start();
        if (!rule.empty())
            server_->SetRules(R"([{"path": "/good/BaseSystem.dmg", "times": 2}, {"path": "/good/BaseSystem.dmg", )"
                              R"("times": 1, )" + rule + "}]");
        std::string image, seen;
        ASSERT_TRUE(DownloadRecoveryHd(ServerEntry("Mac-827FAC58A8FDFA22"), CopySettings(), &image)) << rule;
        EXPECT_EQ(image, "D:\\Images\\RecoveryHD-23G80.hfs");
        EXPECT_TRUE(HostBytes(sim::HostPath(image)) == HostBytes(kFixtures + "/server/volume.hfs")) << rule;
        auto log = server_->Log();
        for (const auto& r : log)
            seen += (seen.empty() ? "" : " ") + r.method.substr(0, 1) + (r.method == "GET" ? " " + r.path : "");
        EXPECT_EQ(seen, requests);
        EXPECT_TRUE(rule.empty() ||
                    (log.back().range.starts_with("bytes=") && !log.back().range.starts_with("bytes=0-")));
        ASSERT_EQ(BoxTitles(), std::vector<std::string>{"Info"}) << rule;
        EXPECT_NE(sim::Messages()[0].text.find("\nServed by Apple's recovery server: macOS 14.6.1 (23G80)\r"),
                  std::string::npos);
        ExpectRestored(rule);
    }
}

// Each way a server run ends without an image: its one box, and an earlier image left as it was.
TEST_F(RecoveryHdDownload, EveryServerFailureAndCancelLeavesTheEarlierImageAlone) {
    struct Case {
        const char *board, *cancelAt, *text, *rules = "[]";
        char fullDrive = 0;
    } cases[] = {
        {"E43C1C25D4880AD6", "",
         "has no recovery image for the board-id Mac-E43C1C25D4880AD6 (HTTP status code = 404)"},
        {"827FAC58A8FDFA22", "", "(HTTP status code = 403): the network may block Apple's recovery server.",
         R"([{"path": "/", "status": 403}])"},
        {"7BA5B2DFE22DDD8C", "", "Can't trust BaseSystem.chunklist of macOS 10.14 Mojave: it is not signed"},
        {"00BE6ED71E35EB86", "", "macOS 10.15 Catalina: its signature is not that of a trusted key"},
        {"2BD1B31983FE1663", "", "BaseSystem.dmg does not match its chunk list: its chunk 3 differs"},
        {"827FAC58A8FDFA22", "", "Not enough free space on C:\\", "[]", 'C'},  // before the image is fetched
        {"827FAC58A8FDFA22", "", "Not enough free space on D:\\Images: ", "[]", 'D'},
        {"827FAC58A8FDFA22", "Asking Apple's recovery server", "Download aborted"},
        {"827FAC58A8FDFA22", "Recovery image of macOS 14 Sonoma (", "Download aborted"},
        {"827FAC58A8FDFA22", "BaseSystem.chunklist (", "Download aborted"},
        {"827FAC58A8FDFA22", "partition table (", "Download aborted"},
        {"827FAC58A8FDFA22", "BaseSystem.dmg (", "Download aborted"},
        {"827FAC58A8FDFA22", "Checking BaseSystem.dmg:", "Extraction aborted"},
        {"827FAC58A8FDFA22", "RecoveryHD.hfs:", "Extraction aborted"},
    };
    for (const auto& c : cases) {
        Start();
        server_->SetRules(c.rules);
        ASSERT_TRUE(plat::WriteWholeFile("D:\\Images\\RecoveryHD-23G80.hfs", "earlier"));
        if (c.fullDrive) sim::SetFreeDiskSpace(c.fullDrive, 1000000);
        cancelAt = c.cancelAt;
        std::string image = "untouched", earlier;
        EXPECT_FALSE(DownloadRecoveryHd(ServerEntry(std::string("Mac-") + c.board), CopySettings(), &image)) << c.text;
        EXPECT_EQ(image + cancelAt, "") << c.text;
        const char* box = std::string(c.text).ends_with("aborted") ? "Information" : "Error";
        ASSERT_EQ(BoxTitles(), std::vector<std::string>{box}) << c.text;
        EXPECT_NE(sim::Messages()[0].text.find(c.text), std::string::npos) << sim::Messages()[0].text;
        auto log = server_->Log();  // with too little room the image was never asked for whole
        auto whole = [](auto& r) { return r.range == "-" && r.path.ends_with(".dmg"); };
        EXPECT_TRUE(!c.fullDrive || std::none_of(log.begin(), log.end(), whole)) << c.text;
        EXPECT_EQ(Images(), std::vector<std::string>{"RecoveryHD-23G80.hfs"}) << c.text;
        EXPECT_TRUE(plat::ReadWholeFile("D:\\Images\\RecoveryHD-23G80.hfs", earlier) && earlier == "earlier");
        ExpectRestored(c.text);
    }
}

TEST(RecoveryHdBuild, ComesFromTheEntryOrItsTitleAndIsAPlainBuildCode) {
    struct Case {
        const char* title;
        const char* build;
        const char* want;
    } cases[] = {{"(11C74) Lion 2011-10-12 432 MB", "", "11C74"}, {"(16B2657) Sierra", "", "16B2657"},
                 {"x", "18A5351d", "18A5351d"},  {"(9L30) Leopard", "16G29", "16G29"},
                 {"Sierra", "", ""},               {"(16G29 ) Sierra", "", ""},
                 {"(../16G29) Sierra", "", ""},    {"(123A4) x", "", ""},
                 {"(16G) x", "", ""},              {"x", "16G29/..", ""},
                 {"Sierra (16G29)", "", ""}};
    for (const auto& c : cases) {
        RecoveryEntry entry{c.title, "http://h/RecoveryHDUpdate.pkg"};
        entry.Build = c.build;
        EXPECT_EQ(RecoveryEntryBuild(entry), c.want) << c.title << " / " << c.build;
    }
}

}  // namespace
}  // namespace vu
