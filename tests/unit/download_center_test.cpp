// The Download Center, the download lists and the downloads it starts, against the local fault
// server, on the simulated PC.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "app/event_loop.h"
#include "app/main_window.h"
#include "app/register_operations.h"
#include "core/globals.h"
#include "core/settings.h"
#include "core/transfer_progress.h"
#include "core/work_folder.h"
#include "fault_server.h"
#include "net/additional_download.h"
#include "net/download_center.h"
#include "net/download_hosts.h"
#include "net/download_lists.h"
#include "net/file_digest.h"
#include "net/http_download.h"
#include "net/recovery_download.h"
#include "net/recovery_update.h"
#include "platform/files.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_files.h"
#include "platform/system.h"

namespace fs = std::filesystem;

namespace vu {
namespace {

const std::string kPack(300000, 'p');

std::atomic<int> recoveryStarts{0}, recoveryLine{-1};

class DownloadCenter : public test::ServedSuite<DownloadCenter> {
public:
    static void Seed() {
        fs::create_directories(root_ + "/files");
        std::ofstream(root_ + "/files/pack.bin", std::ios::binary) << kPack;
    }

protected:
    void SetUp() override {
        ASSERT_TRUE(server_->Running());
        server_->SetRules("[]");
        setenv("VU_LIST_HOST", server_->Origin().c_str(), 1);
        sim::Reset();
        SetSettingsStartValues();
        ReadProgramIdentity();
        RegisterOperations();
        recoveryStarts = 0;
        recoveryLine = -1;
        OperationBusy = AbortRequested = 0;
        DownloadBusy = 0;
        RecoveryList.Clear();
        AdditionalList.Replace({});
        BuildMainWindow();
        plat::CreateFolder("D:\\Repo");
        CloverLocalRepository = "D:\\Repo\\";
        ResumeMaxAttemptsNumber = 3;
        sim::OnCanvas([this](int, const std::vector<plat::DrawOp>& picture) {
            std::lock_guard<std::mutex> l(lock_);
            for (const auto& op : picture)
                if (op.kind == plat::DrawOp::Text && !op.text.empty()) statuses_.push_back(op.text);
        });
    }
    void TearDown() override {
        for (int i = 0; i < 1000 && (OperationBusy != 0 || DownloadBusy != 0); i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        unsetenv("VU_LIST_HOST");
        sim::Reset();
    }

    // A user's click, handed to the loop's dispatch as WaitEvent gives it.
    static void Do(int gadget) {
        sim::Click(gadget);
        plat::Event e = plat::WaitEvent(0);
        DispatchEvent(e.type, e.window, e.number, e.kind);
    }
    // What workers asked of the main thread, handed to the loop's dispatch.
    static void ServePending() {
        for (plat::Event e; (e = plat::WaitEvent(0)).type != plat::EventNone;) DispatchEvent(e.type, e.window, e.number, e.kind);
    }
    static void WaitForIdle() {
        for (int i = 0; i < 3000 && (OperationBusy != 0 || DownloadBusy != 0); i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_EQ(OperationBusy, 0);
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
    static AdditionalEntry Item(const std::string& name, const std::string& url, const std::string& catalog = "") {
        AdditionalEntry e;
        e.Name = name;
        e.Url = url;
        e.Catalog = catalog;
        return e;
    }
    static std::string HostFile(const std::string& path) {
        std::string bytes;
        plat::ReadWholeFile(path, bytes);
        return bytes;
    }

    std::mutex lock_;
    std::vector<std::string> statuses_;
};


TEST_F(DownloadCenter, WindowGadgetsAndTheirEnabling) {
    RecoveryList.Replace({{"(16G29) Sierra", "http://a/RecoveryHDUpdate.pkg"}, {"(15C50) El Capitan", "http://b/x.pkg"}});
    AdditionalList.Replace(ParseDownloadList("[Kexts]\nSize=47941\nDescription=Net\n[Tools]\nDescription=Misc\n", 1));
    plat::MoveWindow(MainWindow, 300, 200);
    Do(DlCenterButton);

    auto window = sim::Window(DownloadCenterWindow);
    ASSERT_TRUE(window);
    EXPECT_EQ(window->title, "Download Center - Velloran Utility v2.1.022 Beta by Ossen");
    EXPECT_EQ(window->frame, (plat::Rect{320, 180, 440, 145}));
    EXPECT_EQ(window->parent, MainWindow);
    EXPECT_TRUE(plat::IsWindowDisabled(MainWindow));
    // Places, captions and tool tips are read back under Wine (tests/wine/download_center_test.py).
    EXPECT_EQ(sim::GadgetsOf(DownloadCenterWindow), (std::vector<int>{92, 67, 93, 68, 113, 114, 19, 21, 20, 22}));
    EXPECT_EQ(sim::Gadget(67)->items, (std::vector<std::string>{"(16G29) Sierra", "(15C50) El Capitan"}));
    EXPECT_EQ(sim::Gadget(68)->items, (std::vector<std::string>{" -- User Downloads: ", "Kexts " + SizeText(47941, 1) + ": Net",
                                                                "Tools: Misc"}));
    auto enabled = [] {
        return std::vector<bool>{!plat::IsGadgetDisabled(67), !plat::IsGadgetDisabled(68), !plat::IsGadgetDisabled(21)};
    };
    EXPECT_EQ(sim::Gadget(113)->state, 1);
    EXPECT_EQ(sim::Gadget(67)->state, 0);
    EXPECT_EQ(sim::Gadget(68)->state, 0);
    EXPECT_EQ(enabled(), (std::vector<bool>{true, false, true}));
    Do(AdditionalOption);
    EXPECT_EQ(enabled(), (std::vector<bool>{false, true, false}));
    Do(RecoveryOption);
    EXPECT_EQ(enabled(), (std::vector<bool>{true, false, true}));

    Do(DcClearButton);
    EXPECT_TRUE(RecoveryList.Entries().empty());
    EXPECT_TRUE(sim::Gadget(67)->items.empty());
    Do(DcExitButton);
    EXPECT_FALSE(plat::WindowExists(DownloadCenterWindow));
    EXPECT_FALSE(plat::IsWindowDisabled(MainWindow));
}

TEST_F(DownloadCenter, ListFilesTakeKeysInAnyCaseAndTrimmedValues) {
    auto entries = ParseDownloadList("\xEF\xBB\xBF; comment\r\n[Kexts]\r\n  url =  http://h/k.zip  \r\nCatalog = Kexts/Net\r\n"
                                     "MD5DIGEST=abc\r\nsize= 12 \r\nPostDate=2017\r\nother=1\r\n[Empty]\r\n",
                                     1);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].Name, " -- User Downloads");
    EXPECT_EQ(entries[1].Name, "Kexts");
    EXPECT_EQ(entries[1].Url, "http://h/k.zip");
    EXPECT_EQ(entries[1].Catalog, "Kexts/Net");
    EXPECT_EQ(entries[1].Md5Digest, "abc");
    EXPECT_EQ(entries[1].Size, "12");
    EXPECT_EQ(entries[1].PostDate, "2017");
    EXPECT_EQ(entries[1].IsUser, 1);
    EXPECT_EQ(entries[2].Url, "");
    EXPECT_EQ(ParseDownloadList("", 0).size(), 1u);  // the header alone
    EXPECT_TRUE(ReadDownloadList("missing.ini", 1).empty());
}

TEST_F(DownloadCenter, TheExampleListIsWrittenOnlyWhenMissing) {
    WriteUserListExample();
    std::string text = HostFile(UserListFile);
    EXPECT_EQ(text.substr(0, text.find("\r\n")), "; ; This is Example of UserDL.ini. Do not remove this lines");
    size_t lines = 0;
    for (size_t at = 0; at < text.size(); at = text.find("\r\n", at) + 2, lines++) EXPECT_EQ(text[at], ';');
    EXPECT_EQ(lines, 10u);
    EXPECT_EQ(ReadDownloadList(UserListFile, 1).size(), 1u);
    plat::WriteWholeFile(UserListFile, "[Mine]\r\n");
    WriteUserListExample();
    EXPECT_EQ(HostFile(UserListFile), "[Mine]\r\n");
}

TEST_F(DownloadCenter, AnUpdateReadsBothListsInItsOwnWorkingFolder) {
    fs::create_directories(root_ + "/files/AdditionalDL");
    std::ofstream(root_ + PublishedListPath) << "[Pack]\r\nURL=" << server_->Url("/files/pack.bin") << "\r\n";
    OpenDownloadCenter();
    UpdateAdditionalList();
    ServePending();
    std::vector<AdditionalEntry> entries = AdditionalList.Entries();
    ASSERT_EQ(entries.size(), 2u);  // no UserDL.ini: the published list alone
    EXPECT_EQ(entries[0].Name, " -- Zarn Additional Downloads");
    EXPECT_EQ(entries[1].Name, "Pack");
    EXPECT_EQ(sim::Gadget(68)->items[1], "Pack: ");
    EXPECT_TRUE(Saw("Download Latest Additional Downloads List ... OK"));
    EXPECT_TRUE(plat::ListFolder(plat::TempDirectory(), "ZarnTemp*").empty());

    // A failed fetch changes nothing.
    server_->SetRules(R"([{"path": "/files/AdditionalDL/DLList.ini", "status": 404}])");
    UpdateAdditionalList();
    EXPECT_TRUE(Saw("CheckAdditionalDownloadsThread ... Error: Get DlFileList"));
    EXPECT_EQ(AdditionalList.Entries().size(), 2u);
    fs::remove_all(root_ + "/files/AdditionalDL");

    unsetenv("VU_LIST_HOST");
    UpdateAdditionalList();
    EXPECT_TRUE(Saw("Download list host not configured: set VU_LIST_HOST"));
}

TEST_F(DownloadCenter, UpdateIsRefusedWhileAnotherDownloadHoldsTheSlot) {
    OpenDownloadCenter();
    DownloadBusy = 1;  // another download job
    Do(DcUpdateButton);
    Do(AdditionalOption);
    Do(DcUpdateButton);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(server_->Log().empty());
    EXPECT_TRUE(Saw(UpdateWhileDownloadingText));
    DownloadBusy = 0;
    Do(DcUpdateButton);
    WaitForIdle();
    ASSERT_EQ(server_->Log().size(), 1u);
    EXPECT_EQ(server_->Log()[0].path, PublishedListPath);
}

TEST_F(DownloadCenter, AnItemIsSavedInItsCatalogAndSummarised) {
    AdditionalList.Replace({ParseDownloadList("", 1)[0], Item("Kext Pack", server_->Url("/files/pack.bin?token=1#x"),
                                                               "Kexts/Net")});
    std::string caption;
    sim::OnCanvas([&](int, const std::vector<plat::DrawOp>&) {
        if (caption.empty() && OperationBusy == 1) caption = plat::GetGadgetText(DlCenterButton);
    });
    OpenDownloadCenter();
    Do(AdditionalOption);
    sim::SelectItem(AdditionalCombo, 1);
    plat::WaitEvent(0);
    Do(DcDlButton);
    EXPECT_FALSE(plat::WindowExists(DownloadCenterWindow));
    WaitForIdle();
    EXPECT_EQ(HostFile("D:\\Repo\\Kexts\\Net\\pack.bin"), kPack);
    EXPECT_EQ(caption, "Cancel DL");
    EXPECT_EQ(plat::GetGadgetText(DlCenterButton), "DL Center");
    ASSERT_EQ(BoxTitles(), std::vector<std::string>{"Info"});
    EXPECT_EQ(sim::Messages()[0].text,
              "\tSummary Information:\r\n\r\nDL: \"Kext Pack\" ........... Success\r\nSaved in the Directory: "
              "\"Kexts/Net\" ........... Success\r\nin the Clover Local Repository: \r\n\"D:\\Repo\\\"\r\n");
    EXPECT_EQ(sim::Messages()[0].flags, unsigned(plat::MbIconInformation));
}

// The lists come from the network: nothing they name may be written outside the repository or
// under a name Windows cannot store.
TEST_F(DownloadCenter, CatalogsAndNamesThatCannotBeStoredAreRefused) {
    const std::string pack = server_->Url("/files/pack.bin");
    const AdditionalEntry refused[] = {
        Item("Up", pack, "..\\Outside"),        Item("Up2", pack, "Kexts/../../Outside"),
        Item("Drive", pack, "C:\\Windows"),    Item("Unc", pack, "\\\\server\\share"),
        Item("Root", pack, "/Outside"),        Item("Device", pack, "Kexts/nul.txt"),
        Item("Dots", pack, "Kexts/..."),       Item("Name", server_->Url("/files/con?x=1")),
        Item("Empty", server_->Url("/files/")), Item("Reserved", server_->Url("/files/a%3Ab|c")),
    };
    for (const auto& entry : refused) {
        EXPECT_EQ(DownloadAdditionalItem(entry, CopySettings()), 0) << entry.Name;
        ASSERT_FALSE(sim::Messages().empty());
        EXPECT_EQ(sim::Messages().back().title, "Error!");
        EXPECT_EQ(sim::Messages().back().text.rfind("Can't download " + entry.Name + ":\r\n", 0), 0u) << entry.Name;
    }
    EXPECT_TRUE(server_->Log().empty());
    EXPECT_EQ(plat::ListFolder("D:\\").size(), 1u);  // Repo alone
    EXPECT_TRUE(plat::ListFolder("D:\\Repo\\").empty());
    EXPECT_EQ(UrlFileName("http://h/a/b.zip?x=/y#z/w"), "b.zip");
    EXPECT_EQ(DownloadAdditionalItem(Item("Fine", pack, "A/B"), CopySettings()), 1);
    EXPECT_EQ(HostFile("D:\\Repo\\A\\B\\pack.bin"), kPack);
}

TEST_F(DownloadCenter, AHeaderLineFailsWithoutASummary) {
    EXPECT_EQ(DownloadAdditionalItem(ParseDownloadList("", 0)[0], CopySettings()), 0);
    ASSERT_EQ(BoxTitles(), std::vector<std::string>{"Error"});
    EXPECT_EQ(sim::Messages()[0].text, "Check download procedure parameters");
}

TEST_F(DownloadCenter, CancellingShowsAbortedAndGivesTheButtonBack) {
    server_->SetRules(R"([{"path": "/big.bin", "generate": 20000000}])");
    sim::OnCanvas([this](int, const std::vector<plat::DrawOp>& picture) {
        for (const auto& op : picture) {
            if (op.kind != plat::DrawOp::Text || op.text.empty()) continue;
            {
                std::lock_guard<std::mutex> l(lock_);
                statuses_.push_back(op.text);
            }
            if (op.text.find("big.bin (") != std::string::npos)
                DispatchEvent(plat::EventGadget, MainWindow, DlCenterButton, 0);  // "Cancel DL"
        }
    });
    EXPECT_EQ(DownloadAdditionalItem(Item("Big", server_->Url("/big.bin")), CopySettings()), 0);
    ASSERT_EQ(BoxTitles(), std::vector<std::string>{"Information"});
    EXPECT_EQ(sim::Messages()[0].text, "Download aborted");
    EXPECT_TRUE(Saw("File big.bin Download aborted"));
    EXPECT_EQ(plat::GetGadgetText(DlCenterButton), "DL Center");
    EXPECT_FALSE(plat::FileExists("D:\\Repo\\big.bin"));
    EXPECT_EQ(AbortRequested, 0);
}

TEST_F(DownloadCenter, ADigestFromTheListIsChecked) {
    const std::string pack = server_->Url("/files/pack.bin"), md5 = DigestHex(DigestKind::Md5, kPack),
                      sha1 = DigestHex(DigestKind::Sha1, kPack);
    struct Case {
        std::string digest;
        bool ok;
    } cases[] = {{md5, true}, {"", true}, {std::string(sha1.size(), 'F'), false}, {md5.substr(1) + "0", false}};
    for (auto& c : cases) {
        sim::Reset();
        BuildMainWindow();
        plat::CreateFolder("D:\\Repo");
        AdditionalEntry entry = Item("Pack", pack);
        entry.Md5Digest = c.digest;
        plat::WriteWholeFile("D:\\Repo\\pack.bin", "an earlier copy");
        EXPECT_EQ(DownloadAdditionalItem(entry, CopySettings()), c.ok ? 1 : 0) << c.digest;
        EXPECT_EQ(HostFile("D:\\Repo\\pack.bin"), c.ok ? kPack : "an earlier copy") << c.digest;
        ASSERT_EQ(BoxTitles(), std::vector<std::string>{c.ok ? "Info" : "Error!"}) << c.digest;
        if (!c.ok) {
            EXPECT_NE(sim::Messages()[0].text.find("Expected: " + c.digest), std::string::npos);
            EXPECT_NE(sim::Messages()[0].text.find(c.digest.size() == 32 ? "Received: " + md5 : "Received: " + sha1),
                      std::string::npos);
        }
    }
    // Upper-case SHA-1 digits match as well.
    std::string upper = sha1;
    for (char& ch : upper) ch = char(std::toupper(static_cast<unsigned char>(ch)));
    AdditionalEntry entry = Item("Pack", pack);
    entry.Md5Digest = upper;
    EXPECT_EQ(DownloadAdditionalItem(entry, CopySettings()), 1);
}

TEST(FileDigest, KindByLength) {
    EXPECT_EQ(DigestKindOf(std::string(32, 'a')), DigestKind::Md5);
    EXPECT_EQ(DigestKindOf(std::string(40, 'A')), DigestKind::Sha1);
    EXPECT_EQ(DigestKindOf(std::string(32, 'g')), DigestKind::None);
}

TEST_F(DownloadCenter, RecoveryDlStartsTheExtractionWithTheChosenEntry) {
    OpenDownloadCenter();
    Do(DcDlButton);  // an empty list starts nothing
    EXPECT_FALSE(plat::WindowExists(DownloadCenterWindow));
    EXPECT_TRUE(sim::Messages().empty());
    EXPECT_EQ(OperationBusy, 0);

    RecoveryEntry entry{"(16G29) Sierra", "http://h/031-1/RecoveryHDUpdate.pkg"};
    entry.Size = "480000000";
    entry.Build = "16G29";
    entry.Digest = "D2";
    RecoveryList.Replace({{"(15C50) El Capitan", "http://h/x.pkg"}, entry});
    Ops.downloadRecoveryHd = [](int line, const SettingsRecord&) {
        recoveryLine = line;
        ++recoveryStarts;
        OperationBusy = 0;
    };
    OpenDownloadCenter();
    sim::SelectItem(RecoveryCombo, 1);
    plat::WaitEvent(0);
    Do(DcDlButton);
    WaitForIdle();
    EXPECT_EQ(recoveryStarts, 1);
    EXPECT_EQ(recoveryLine, 1);
    RecoveryEntry chosen = ChosenRecoveryEntry();
    EXPECT_EQ(chosen.Url, entry.Url);
    EXPECT_EQ(chosen.Size, "480000000");
    EXPECT_EQ(chosen.Build, "16G29");
    EXPECT_EQ(chosen.Digest, "D2");
}

// A catalog update ends while the user picks an entry: it replaces the list at once, and its
// refill of the window comes after the user's clicks. "DL" takes the entry the user saw.
TEST_F(DownloadCenter, DlTakesTheEntryTheUserSaw) {
    RecoveryList.Replace({{"(15C50) El Capitan", "http://h/a.pkg"}, {"(16G29) Sierra", "http://h/b.pkg"}});
    Ops.downloadRecoveryHd = [](int, const SettingsRecord&) { OperationBusy = 0; };
    OpenDownloadCenter();
    sim::SelectItem(RecoveryCombo, 1);
    sim::Click(DcDlButton);
    FinishRecoveryList({});  // the update's end, on its thread
    ServePending();
    WaitForIdle();
    EXPECT_EQ(ChosenRecoveryEntry().Url, "http://h/b.pkg");
}

TEST_F(DownloadCenter, ARecoveryPackageOfAnotherSizeThanTheCatalogsFails) {
    plat::CreateFolder("D:\\Work");
    RecoveryEntry entry{"x", server_->Url("/files/pack.bin")};
    entry.Size = std::to_string(kPack.size() + 1);
    EXPECT_EQ(RunRecoveryDownload(entry, "D:\\Work\\", 3), WebFileWriteError);
    EXPECT_FALSE(plat::FileExists("D:\\Work\\RecoveryHD.pkg"));
    ASSERT_EQ(BoxTitles(), std::vector<std::string>{"Error"});
    EXPECT_NE(sim::Messages()[0].text.find(std::to_string(kPack.size()) + " bytes received"), std::string::npos);
    entry.Size = std::to_string(kPack.size());
    EXPECT_EQ(RunRecoveryDownload(entry, "D:\\Work\\", 3), WebOk);
    EXPECT_EQ(HostFile("D:\\Work\\RecoveryHD.pkg"), kPack);
}

}  // namespace
}  // namespace vu
