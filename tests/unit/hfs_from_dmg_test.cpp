// The Tools menu's DMG extraction on the simulated PC: what the user is asked and shown, and
// that no working folder and no partial image is left on any path. The readers' bad inputs are
// checked file by file in tests/apple/extract_test.py.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "app/event_loop.h"
#include "app/main_window.h"
#include "app/register_operations.h"
#include "core/globals.h"
#include "core/status_bar.h"
#include "core/work_folder.h"
#include "platform/files.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_files.h"
#include "tools/hfs_from_dmg.h"

namespace fs = std::filesystem;

namespace vu {
namespace {

const std::string kTemp = "C:\\Users\\User\\AppData\\Local\\Temp\\";

std::string HostBytes(const std::string& hostPath) {
    std::ifstream in(hostPath, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class HfsFromDmg : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        RegisterOperations();
        BuildMainWindow();
        for (const char* name : {"all-types.dmg", "notes.dmg", "corrupt-zlib.dmg"})
            fs::copy_file(std::string(VU_TEST_APPLE_DIR) + "/" + name, sim::DriveRoot('D') + "/" + name);
        plat::CreateFolder("E:\\Images");
    }
    void TearDown() override { sim::OnCanvas(nullptr); }

    static size_t WorkFolders() { return plat::ListFolder(kTemp, "ZarnTemp*").size(); }
    static std::vector<plat::FolderEntry> Images() { return plat::ListFolder("E:\\Images\\"); }
    static void Run(std::vector<std::string> requesterAnswers) {
        sim::AnswerNextRequesters(std::move(requesterAnswers));
        ExtractHfsFromDmg(1, CopySettings());
        EXPECT_EQ(OperationBusy, 0);
        EXPECT_EQ(AbortRequested, 0);
        EXPECT_EQ(WorkFolders(), 0u);
    }
};

TEST_F(HfsFromDmg, CancelledRequestersShowNothing) {
    Run({});
    Run({"D:\\all-types.dmg"});
    EXPECT_TRUE(sim::Messages().empty());
    auto asked = sim::Requesters();
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[0].title, "Select DMG-file for extraction");
    EXPECT_EQ(asked[2].kind, "path");
    EXPECT_EQ(asked[2].title, "Select path to save image file:");
    EXPECT_EQ(asked[2].initial, "D:\\");
    EXPECT_TRUE(Images().empty());
}

TEST_F(HfsFromDmg, ImageIsTheVolumeAndIsReplacedOnlyWhenTheUserSaysSo) {
    Run({"D:\\all-types.dmg", "E:\\Images"});
    std::string volume = HostBytes(std::string(VU_TEST_APPLE_DIR) + "/volume.hfs");
    std::string image = sim::HostPath("E:\\Images\\all-types.hfs");
    EXPECT_EQ(HostBytes(image), volume);
    ASSERT_EQ(sim::Messages().size(), 1u);
    EXPECT_EQ(sim::Messages()[0].title, "Info");
    EXPECT_EQ(sim::Messages()[0].text, "HFS volume Extracted.");

    plat::WriteWholeFile("E:\\Images\\all-types.hfs", "an earlier image");
    sim::AnswerNextMessages({plat::IdNo});
    Run({"D:\\all-types.dmg", "E:\\Images\\"});
    ASSERT_EQ(sim::Messages().size(), 2u);  // the question, and no second "Extracted"
    EXPECT_EQ(sim::Messages()[1].title, "Warning");
    EXPECT_EQ(sim::Messages()[1].text, "The selected file:\nE:\\Images\\all-types.hfs\nalready exists. Overwrite it?");
    EXPECT_EQ(sim::Messages()[1].flags, 0x34u);
    EXPECT_EQ(HostBytes(image), "an earlier image");

    sim::AnswerNextMessages({plat::IdYes});
    Run({"D:\\all-types.dmg", "E:\\Images\\"});
    EXPECT_EQ(HostBytes(image), volume);
    EXPECT_EQ(sim::Messages().back().text, "HFS volume Extracted.");
}

TEST_F(HfsFromDmg, NotADiskImageGetsTheBoxNamingIt) {
    Run({"D:\\notes.dmg", "E:\\Images\\"});
    ASSERT_EQ(sim::Messages().size(), 1u);
    EXPECT_EQ(sim::Messages()[0].title, "Error");
    EXPECT_EQ(sim::Messages()[0].text, "Can't open \"notes.dmg\"\r\nas DMG archive.");
    EXPECT_EQ(sim::Messages()[0].flags, unsigned(plat::MbIconError));
    EXPECT_TRUE(Images().empty());
}

TEST_F(HfsFromDmg, AFailureOrACancelLeavesNoPartialImage) {
    Run({"D:\\corrupt-zlib.dmg", "E:\\Images\\"});
    ASSERT_EQ(sim::Messages().size(), 1u);
    EXPECT_EQ(sim::Messages()[0].text,
              "Can't extract the HFS volume from \"corrupt-zlib.dmg\":\r\nzlib chunk 3: zlib data is damaged");
    EXPECT_TRUE(Images().empty());

    // A click on the status bar while the progress line offers it, through the event loop.
    std::atomic<int> clicks{0};
    bool sawCancelled = false;
    sim::OnCanvas([&](int gadget, const std::vector<plat::DrawOp>& picture) {
        for (const auto& op : picture) {
            if (op.text.find("click here to cancel") != std::string::npos && clicks++ == 0)
                DispatchEvent(plat::EventGadget, MainWindow, StatusBarGadget, 0);
            if (op.text == "HFS extraction cancelled") sawCancelled = true;
        }
    });
    Run({"D:\\all-types.dmg", "E:\\Images\\"});
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(sawCancelled);
    EXPECT_EQ(sim::Messages().size(), 1u);  // no box beyond the first run's
    EXPECT_TRUE(Images().empty());

    // Without an extraction running, a click on the status bar cancels nothing.
    DispatchEvent(plat::EventGadget, MainWindow, StatusBarGadget, 0);
    EXPECT_EQ(AbortRequested, 0);
}

std::atomic<int> StartedRuns{0};

TEST_F(HfsFromDmg, MenuChoiceIsBusyBeforeItsThreadRuns) {
    StartedRuns = 0;
    Ops.extractHfsFromDmg = [](int, const SettingsRecord&) { ++StartedRuns; };
    DispatchEvent(plat::EventMenu, MainWindow, MenuExtractHfs, 0);
    EXPECT_EQ(OperationBusy, 1);
    for (int i = 0; i < 500 && StartedRuns == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    DispatchEvent(plat::EventMenu, MainWindow, MenuExtractHfs, 0);
    EXPECT_EQ(StartedRuns, 1);
    OperationBusy = 0;
}

}  // namespace
}  // namespace vu
