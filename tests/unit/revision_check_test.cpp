// The latest-revision check against pages served by the local fault server.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "app/configuration_window.h"
#include "app/event_loop.h"
#include "app/main_window.h"
#include "app/program.h"
#include "app/register_operations.h"
#include "core/globals.h"
#include "core/settings.h"
#include "fault_server.h"
#include "net/download_hosts.h"
#include "net/found_revisions.h"
#include "net/revision_check.h"
#include "platform/sim/sim.h"

namespace fs = std::filesystem;

namespace vu {
namespace {

const std::string kPage = std::string(CloverPagePath);
// A listing as the download host shows it: links and texts, one revision twice, in no order.
const char* const kListing =
    "<a href='/projects/cloverefiboot/files/Bootable_ISO/CloverISO-999.tar.lzma/download'>CloverISO-999.tar.lzma</a>"
    "<a href='CloverISO-4297.tar.lzma/download'>CloverISO-4297.tar.lzma</a><p>CloverISO-4297.tar.lzma</p>";

bool WaitForFreeSlot() {
    for (int i = 0; i < 500 && DownloadBusy != 0; i++) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return DownloadBusy == 0;
}

class RevisionCheck : public test::ServedSuite<RevisionCheck> {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_->Running());
        setenv("VU_CLOVER_HOST", server_->Origin().c_str(), 1);
        sim::Reset();
        sim::SetLocalNow(plat::LocalDateTime{2017, 12, 1, 9, 5, 0});
        SetSettingsStartValues();
        CloverLastRev = "Check It!";
        InstallDataSet = "DL";
        DownloadBusy = 0;
        FoundRevisions.Clear();
        RegisterOperations();
        ReadProgramIdentity();
        BuildMainWindow();
    }
    void TearDown() override {
        WaitForFreeSlot();
        unsetenv("VU_CLOVER_HOST");
        sim::Reset();
    }

    void ServePage(const std::string& rule) { server_->SetRules("[{\"path\": \"" + kPage + "\", " + rule + "}]"); }

    static std::vector<std::string> Items(int gadget) { return sim::Gadget(gadget)->items; }
    static std::string MenuTitle() { return sim::Menu(MainMenu)[3].text; }

};


TEST(FindRevisions, DistinctNumbersHighestFirst) {
    struct Case {
        const char* page;
        std::vector<int32_t> revisions;
    } cases[] = {
        {"CloverISO-4297.tar.lzma CloverISO-999.tar.lzma CloverISO-4297.tar.lzma", {4297, 999}},
        {"CloverISO-0999.tar.lzma x-5151.tar.lzma.md5 CloverISO-999.zip", {5151, 999}},
        {"CloverISO-99999999999.tar.lzma CloverISO-0.tar.lzma CloverISO-12.tar.lzma", {12}},
        {"no archives, .tar.lzma alone", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(FindRevisions(c.page), c.revisions) << c.page;
}

TEST_F(RevisionCheck, AFoundRevisionIsRecordedAndShownEverywhere) {
    ServePage(std::string("\"body\": \"") + kListing + "\"");
    OpenConfigurationWindow();
    DownloadBusy = 1;  // the starter's claim, which the check frees
    EXPECT_EQ(RunRevisionCheck(1, DownloadAbortRequested), WebOk);
    EXPECT_EQ(DownloadBusy, 0);
    EXPECT_EQ(FoundRevisions.Items(), (std::vector<int32_t>{4297, 999}));
    EXPECT_EQ(CloverLastRev, "4297");
    EXPECT_EQ(InstallRevision, "4297");
    EXPECT_EQ(CloverLastRevCheckDate, "01.12.17 09:05");
    EXPECT_EQ(MenuTitle(), " Latest Clover: r4297");
    EXPECT_EQ(Items(RevisionsCombo), (std::vector<std::string>{"4297", "999"}));
    EXPECT_EQ(sim::Gadget(RevisionsCombo)->state, 0);
    EXPECT_FALSE(sim::Gadget(RevisionsCombo)->disabled);
    EXPECT_EQ(sim::Gadget(CheckNowButton)->text, "r4297");
    EXPECT_EQ(sim::Gadget(CheckDateText)->text, "01.12.17 09:05");
    EXPECT_EQ(sim::Gadget(CheckDateText)->textColor, 0xFF0000u);
    EXPECT_TRUE(sim::Messages().empty());
    // What the start-up check offers the Configuration window the next time.
    EXPECT_EQ(server_->Log().size(), 1u);
    EXPECT_EQ(server_->Log()[0].path, kPage);
}

TEST_F(RevisionCheck, APageWithoutArchivesFailsWithItsBoxAndChangesNothingElse) {
    FoundRevisions.Replace({5000});
    ServePage(R"("body": "<html>maintenance</html>")");
    OpenConfigurationWindow();
    DownloadBusy = 1;
    EXPECT_EQ(RunRevisionCheck(1, DownloadAbortRequested), WebNothingFound);
    EXPECT_EQ(CloverLastRev, "0");
    EXPECT_EQ(FoundRevisions.Items(), (std::vector<int32_t>{5000}));
    EXPECT_EQ(Items(RevisionsCombo), (std::vector<std::string>{"5000"}));
    ASSERT_EQ(sim::Messages().size(), 1u);
    EXPECT_EQ(sim::Messages()[0].title, "Error");
    EXPECT_EQ(sim::Messages()[0].text, "Not Found standart Clover archive distribution file:\r\nCloverISO-NNNN.tar.lzma");
    EXPECT_EQ(sim::Messages()[0].flags, unsigned(plat::MbIconWarning));
    EXPECT_EQ(MenuTitle(), " Latest Clover: Check It!");
}

TEST_F(RevisionCheck, AFailedFetchShowsItsTextOnlyAndEmptiesTheList) {
    FoundRevisions.Replace({5000});
    ServePage(R"("status": 404)");
    OpenConfigurationWindow();
    std::vector<std::string> statuses;
    sim::OnCanvas([&](int, const std::vector<plat::DrawOp>& picture) {
        for (const auto& op : picture)
            if (op.kind == plat::DrawOp::Text && !op.text.empty()) statuses.push_back(op.text);
    });
    DownloadBusy = 1;
    EXPECT_EQ(RunRevisionCheck(1, DownloadAbortRequested), WebHttpStatusError);
    EXPECT_EQ(statuses, (std::vector<std::string>{"HTTP status code = 404"}));
    EXPECT_TRUE(sim::Messages().empty());
    EXPECT_EQ(CloverLastRev, "0");
    EXPECT_TRUE(FoundRevisions.Empty());
    EXPECT_TRUE(Items(RevisionsCombo).empty());
    EXPECT_TRUE(sim::Gadget(RevisionsCombo)->disabled);
}

TEST_F(RevisionCheck, CheckNowStartsACheckOnlyWhileNoDownloadRuns) {
    ServePage(std::string("\"body\": \"") + kListing + "\"");
    OpenConfigurationWindow();
    DownloadBusy = 1;  // another download job
    DispatchEvent(plat::EventGadget, ConfigurationWindow, CheckNowButton, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(server_->Log().empty());
    EXPECT_EQ(DownloadBusy, 1);

    DownloadBusy = 0;
    DispatchEvent(plat::EventGadget, ConfigurationWindow, CheckNowButton, 0);
    ASSERT_TRUE(WaitForFreeSlot());
    EXPECT_EQ(server_->Log().size(), 1u);
    EXPECT_EQ(sim::Gadget(CheckNowButton)->text, "r4297");
}

TEST_F(RevisionCheck, TheStartupCheckRunsWhenTheSettingsAskForIt) {
    ServePage(std::string("\"body\": \"") + kListing + "\"");
    sim::Reset();  // the program builds its own main window
    Ops.readSettings = [] { CheckLatestCloverAtStartup = 1; };
    Ops.startRepositoryScan = nullptr;
    Ops.writeSettings = nullptr;
    sim::CloseBox(MainWindow);
    RunProgram();
    ASSERT_TRUE(WaitForFreeSlot());
    EXPECT_EQ(server_->Log().size(), 1u);
    EXPECT_EQ(CloverLastRev, "4297");
    EXPECT_EQ(MenuTitle(), " Latest Clover: r4297");
}

}  // namespace
}  // namespace vu
