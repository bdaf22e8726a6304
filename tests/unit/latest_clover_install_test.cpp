// The "DL" data set of a format run: revision check, download, conversion and installation, with
// the bootloader's download host played by the local fault server.
#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <optional>

#include "app/event_loop.h"
#include "app/main_window.h"
#include "app/register_operations.h"
#include "clover_release.h"
#include "core/globals.h"
#include "core/settings.h"
#include "core/status_bar.h"
#include "disk/drive_list.h"
#include "fault_server.h"
#include "net/revision_check.h"
#include "platform/files.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_disks.h"
#include "prepare/data_set_install.h"
#include "prepare/format_drive.h"
#include "prepare/latest_clover_install.h"
#include "unit/disk_scenario.h"

namespace fs = std::filesystem;

namespace vu {
namespace {

const std::string kPage = CloverPagePath;
const std::string kArchive = kPage + "CloverISO-5151.tar.lzma/download";

class LatestCloverInstall : public test::ServedSuite<LatestCloverInstall> {
public:
    static void Seed() {
        test::WriteRelease(root_ + "/CloverISO-5151.tar.lzma",
                           {{"CloverISO-5151.iso", test::IsoImage(test::CloverIsoEntries("loader"), root_ + "/x.iso")}});
    }

protected:
    void SetUp() override {
        ASSERT_TRUE(server_->Running());
        setenv("VU_CLOVER_HOST", server_->Origin().c_str(), 1);
        sim::Reset();
        SetSettingsStartValues();
        RegisterOperations();
        ReadProgramIdentity();
        BuildMainWindow();
        Boot_records = "Clover";
        InstallDataSet = "DL";
        CloverLocalRepository = "C:\\Repo\\";
        ASSERT_TRUE(plat::CreateFolder("C:\\Repo"));
        volume_ = sim::DriveRoot('C') + "-volume";
        fs::create_directories(volume_);
        sim::SetDriveRoot('E', volume_);
        DownloadBusy = 0;
        statuses_.clear();
        sim::OnCanvas([this](int, const std::vector<plat::DrawOp>& picture) {
            std::lock_guard<std::mutex> l(lock_);
            for (const auto& op : picture)
                if (op.kind == plat::DrawOp::Text && !op.text.empty()) statuses_.push_back(op.text);
        });
    }
    void TearDown() override {
        unsetenv("VU_CLOVER_HOST");
        sim::Reset();
        fs::remove_all(volume_);
    }


    bool Saw(const std::string& status) {
        std::lock_guard<std::mutex> l(lock_);
        return std::find(statuses_.begin(), statuses_.end(), status) != statuses_.end();
    }

    // No working folder of this run is left in the temporary folder.
    static bool NoWorkFolder() {
        return plat::ListFolder(plat::TempDirectory(), "ZarnTemp*").empty();
    }

    std::vector<std::string> BoxTexts() {
        std::vector<std::string> texts;
        for (const auto& box : sim::Messages()) texts.push_back(box.title + " " + box.text);
        return texts;
    }

    std::string volume_;
    std::mutex lock_;
    std::vector<std::string> statuses_;
};


TEST_F(LatestCloverInstall, TheLatestDataSetArrivesThroughADroppedConnectionAndIsKept) {
    // The first connection drops halfway; the resumed request gets the rest.
    server_->SetRules("[{\"path\": \"" + kPage + "\", \"body\": \"CloverISO-5151.tar.lzma\"}, {\"path\": \"" +
                      kArchive + "\", \"file\": \"CloverISO-5151.tar.lzma\", \"drop_at\": 0.5, \"times\": 1}, " +
                      "{\"path\": \"" + kArchive + "\", \"file\": \"CloverISO-5151.tar.lzma\"}]");
    SaveLatestCloverAfterDL = 1;
    InstallDataSetPhase(1, CopySettings(), "E:");
    EXPECT_TRUE(BoxTexts().empty()) << BoxTexts()[0];
    EXPECT_TRUE(Saw("Found Latest Clover r5151"));
    EXPECT_TRUE(Saw("50% ERROR, Attempt to resume downloading, #1 ..."));
    EXPECT_TRUE(Saw("Clover r5151 Downloaded"));
    EXPECT_TRUE(Saw("CloverISO-5151.zip Saved to Clover Local Repo"));
    EXPECT_TRUE(Saw("Clover Data set files Installed"));
    EXPECT_EQ(InstallRevision, "5151");
    std::string boot;
    EXPECT_TRUE(plat::ReadWholeFile("E:\\boot", boot));
    EXPECT_EQ(boot, "loader");
    EXPECT_TRUE(plat::FileExists("E:\\EFI\\CLOVER\\OEM\\SystemProductName\\UEFI\\config.plist"));
    EXPECT_TRUE(plat::FolderExists("E:\\EFI\\CLOVER\\ACPI\\WINDOWS"));
    EXPECT_TRUE(plat::IsHidden("E:\\.fseventsd\\no_log"));
    EXPECT_GT(plat::FileSize("C:\\Repo\\CloverISO-5151.zip"), 0);
    EXPECT_TRUE(NoWorkFolder());
    EXPECT_EQ(DownloadBusy, 0);
}

TEST_F(LatestCloverInstall, AChosenRevisionIsTakenAsItsNumberOnly) {
    server_->SetRules("[{\"path\": \"" + kArchive + "\", \"file\": \"CloverISO-5151.tar.lzma\"}]");
    InstallRevision = "5151\\..\\..\\Windows";  // not a path into the temporary folder's parents
    EXPECT_TRUE(InstallDownloadedDataSet(CopySettings(), "E:"));
    ASSERT_EQ(server_->Log().size(), 1u);
    EXPECT_EQ(server_->Log()[0].path, kArchive);
    EXPECT_TRUE(plat::FileExists("E:\\boot"));
}

TEST_F(LatestCloverInstall, EachFailureShowsItsOwnMessageAndInstallsNothing) {
    struct Case {
        const char* what;
        std::string pageRule, archiveRule;
        const char* installRevision;
        std::vector<std::string> boxes;
        const char* status;
    } cases[] = {
        {"revision check fails", R"("status": 404)", R"("file": "CloverISO-5151.tar.lzma")", "0", {},
         "Error Check Clover Last Revision"},
        {"archive missing", R"("body": "CloverISO-5151.tar.lzma")", R"("status": 404)", "0",
         {"Error HTTP status code = 404"}, nullptr},
        {"archive corrupt", R"("body": "CloverISO-5151.tar.lzma")", R"("body": "not an archive")", "5151",
         {"Error! Error During Extract Latest Clover Data Set."}, nullptr},
    };
    for (const auto& c : cases) {
        server_->SetRules("[{\"path\": \"" + kPage + "\", " + c.pageRule + "}, {\"path\": \"" + kArchive + "\", " +
                          c.archiveRule + "}]");
        TearDown();
        SetUp();
        InstallRevision = c.installRevision;
        InstallDataSetPhase(1, CopySettings(), "E:");
        EXPECT_EQ(BoxTexts(), c.boxes) << c.what;
        if (c.status) {
            EXPECT_TRUE(Saw(c.status)) << c.what;
        }
        EXPECT_TRUE(Saw("Clover Data set files Not Installed")) << c.what;
        EXPECT_FALSE(plat::FileExists("E:\\.metadata_never_index")) << c.what;
        EXPECT_FALSE(plat::FileExists("E:\\boot")) << c.what;
        EXPECT_TRUE(NoWorkFolder()) << c.what;
        EXPECT_EQ(DownloadBusy, 0) << c.what;
    }
}

// A format run that installs the downloaded data set while another download job (the revision
// check of the start-up) holds the download slot: nothing is asked or written while it waits,
// and it goes on once the slot is free; a slot that stays taken refuses it with the stick untouched.
TEST_F(LatestCloverInstall, AFormatRunTakesTheDownloadSlotBeforeItWritesAnything) {
    server_->SetRules("[{\"path\": \"" + kPage + "\", \"body\": \"CloverISO-5151.tar.lzma\"}, {\"path\": \"" +
                      kArchive + "\", \"file\": \"CloverISO-5151.tar.lzma\"}]");
    for (bool freed : {true, false}) {
        TearDown();
        SetUp();
        test::ScratchFolder folder;
        test::LoadPcText(folder, test::SystemDiskLines(folder) + "[disk 1]\nimage = " +
                                     test::BlankImage(folder, "stick.img", 64) + "\nbus = 7\ndrive-type = 2\n");
        StartLBASector = "2048", MultiPartitions = 0;
        FillDriveList();
        plat::SetGadgetState(DriveListGadget, 0);
        DownloadBusy = 1;
        std::optional<std::vector<std::string>> logWhileWaiting;
        sim::OnCanvas([&](int, const std::vector<plat::DrawOp>& picture) {
            for (const auto& op : picture) {
                if (op.kind != plat::DrawOp::Text || op.text.empty()) continue;
                if (op.text == WaitingForDownloadText && !logWhileWaiting) {
                    logWhileWaiting = sim::DeviceLog();
                    if (freed) DownloadBusy = 0;  // the check ends
                }
                std::lock_guard<std::mutex> l(lock_);
                statuses_.push_back(op.text);
            }
        });
        FormatDrive(FormatInstallArgument(), CopySettings());
        sim::OnCanvas(nullptr);

        ASSERT_TRUE(logWhileWaiting) << freed;
        for (const auto& line : *logWhileWaiting) EXPECT_NE(line.rfind("write ", 0), 0u) << freed << ": " << line;
        EXPECT_EQ(Saw("All done"), freed);
        EXPECT_EQ(DownloadBusy, freed ? 0 : 1) << freed;  // a refused run never had it
        if (freed) {
            EXPECT_EQ(BoxTexts().size(), 1u);  // the confirmation alone
            EXPECT_TRUE(plat::FileExists("D:\\EFI\\CLOVER\\OEM\\SystemProductName\\UEFI\\config.plist"));
        } else {
            EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Error! Can't download Latest Clover."});
            for (const auto& line : sim::DeviceLog()) EXPECT_NE(line.rfind("write ", 0), 0u) << line;
        }
    }
}

}  // namespace
}  // namespace vu
