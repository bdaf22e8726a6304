// The disk an operation writes is the one the user chose: a stick swapped for another of the
// same make and size while the run asks its question (Windows gives the newcomer the same number
// and letter) is refused before anything is written, by format, backup and restore alike.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "app/main_window.h"
#include "app/register_operations.h"
#include "core/globals.h"
#include "core/settings.h"
#include "disk/drive_list.h"
#include "images/partition_images.h"
#include "platform/gui.h"
#include "platform/sim/sim_files.h"
#include "prepare/format_drive.h"
#include "unit/fault_scenario.h"

namespace vu {
namespace {

struct Swap {
    const char* operation;
    std::function<void()> run;
    const char* question;  // the title of the box during which the sticks are swapped
};

TEST(ChosenDisk, EveryOperationRefusesADiskSwappedWhileItAsked) {
    const Swap swaps[] = {
        {"format", [] { FormatDrive(0, CopySettings()); }, "WARNING"},
        {"backup", [] { BackupPartition(1, CopySettings()); }, "Information"},
        {"restore", [] { RestorePartition(1, CopySettings()); }, "Information"},
    };
    for (const Swap& swap : swaps) {
        SCOPED_TRACE(swap.operation);
        test::ScratchFolder folder(test::MemoryFolder());
        sim::Reset();
        SetSettingsStartValues();
        OperationBusy = AbortRequested = FormatFailed = 0;
        RegisterOperations();
        ReadProgramIdentity();
        BuildMainWindow();
        std::string chosen = test::BlankImage(folder, "chosen.img", 64), other = test::BlankImage(folder, "other.img", 64);
        for (const std::string& image : {chosen, other}) test::Partition(image, "start=2048, type=c\n");
        std::string chosen0 = test::FileBytes(chosen), other0 = test::FileBytes(other);
        const std::string stick = "\nbus = 7\ndrive-type = 2\nvendor = Acme\nproduct = Stick\nletters = E:1\n";
        test::LoadPcText(folder, test::SystemDiskLines(folder) + "[disk 1]\nimage = " + chosen + stick +
                                     "serial = S1\n[disk 2]\nimage = " + other + stick + "serial = S2\npresent = no\n");
        Boot_records = "Clover", FileSystem = "FAT32-LBA", InstallDataSet = "Not_Install", StartLBASector = "2048";
        MultiPartitions = 0;
        ZarnImageLocalRepo = "C:\\Images\\";
        std::filesystem::create_directories(sim::HostPath("C:\\Images"));
        std::ofstream(sim::HostPath("C:\\Images\\r.bin"), std::ios::binary) << std::string(1 << 20, 'x');
        sim::AnswerNextRequesters({swap.operation == std::string("restore") ? "C:\\Images\\r.bin" : "C:\\Images\\b.bin"});
        FillDriveList();
        plat::SetGadgetState(DriveListGadget, swap.operation == std::string("format") ? 0 : 1);
        bool swapped = false;
        sim::OnMessage([&](const sim::MessageRecord& box) {
            if (box.title != swap.question || swapped) return;
            swapped = sim::UnplugDisk(1) && sim::PlugDisk(2, 1);
        });

        swap.run();
        sim::OnMessage(nullptr);
        ASSERT_TRUE(swapped);
        EXPECT_EQ(test::FileBytes(other), other0);
        EXPECT_EQ(test::FileBytes(chosen), chosen0);
        EXPECT_FALSE(std::filesystem::exists(sim::HostPath("C:\\Images\\b.bin")));
        bool refused = false;
        for (const auto& box : sim::Messages())
            refused |= box.title == "Error" && box.text.rfind("The selected disk was removed or replaced", 0) == 0;
        EXPECT_TRUE(refused);
        EXPECT_EQ(sim::OpenDeviceCount(), 0);
    }
    sim::Reset();
}

}  // namespace
}  // namespace vu
