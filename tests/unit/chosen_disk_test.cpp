// The disk an operation writes is the one the user chose: a stick swapped for another of the same
// make and size while the run asks its question (Windows gives the newcomer the same number and
// letter) is refused before anything is written, by format, backup and restore alike.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/main_window.h"
#include "app/register_operations.h"
#include "core/settings.h"
#include "disk/drive_list.h"
#include "images/partition_images.h"
#include "platform/sim/sim_files.h"
#include "prepare/format_drive.h"
#include "unit/fault_scenario.h"

namespace vu {
namespace {

TEST(ChosenDisk, EveryOperationRefusesADiskSwappedWhileItAsked) {
    const struct {
        const char* name;
        void (*run)(int, const SettingsRecord&);
        int line;
        const char* question;  // the title of the box during which the sticks are swapped
    } swaps[] = {{"format", FormatDrive, 0, "WARNING"},
                 {"backup", BackupPartition, 1, "Information"},
                 {"restore", RestorePartition, 1, "Information"}};
    for (const auto& swap : swaps) {
        SCOPED_TRACE(swap.name);
        test::ScratchFolder folder(test::MemoryFolder());
        sim::Reset();
        SetSettingsStartValues();
        InstallDataSet = "Not_Install";
        RegisterOperations();
        ReadProgramIdentity();
        BuildMainWindow();
        std::string pc = test::SystemDiskLines(folder), images[2], before[2];
        for (int i : {0, 1}) {
            images[i] = test::BlankImage(folder, "stick" + std::to_string(i) + ".img", 64);
            test::Partition(images[i], "start=2048, type=c\n");
            before[i] = test::FileBytes(images[i]);
            pc += "[disk " + std::to_string(i + 1) + "]\nimage = " + images[i] + "\nbus = 7\ndrive-type = 2\n" +
                  "vendor = Acme\nproduct = Stick\nletters = E:1\nserial = S" + std::to_string(i) +
                  (i ? "\npresent = no\n" : "\n");
        }
        test::LoadPcText(folder, pc);
        std::filesystem::create_directories(sim::HostPath("C:\\Images"));
        std::ofstream(sim::HostPath("C:\\Images\\r.bin"), std::ios::binary) << std::string(1 << 20, 'x');
        sim::AnswerNextRequesters({swap.run == RestorePartition ? "C:\\Images\\r.bin" : "C:\\Images\\b.bin"});
        FillDriveList();
        plat::SetGadgetState(DriveListGadget, swap.line);
        sim::OnMessage([&](const sim::MessageRecord& box) {
            if (box.title == swap.question && sim::UnplugDisk(1)) sim::PlugDisk(2, 1);
        });

        swap.run(0, CopySettings());
        sim::OnMessage(nullptr);
        EXPECT_EQ(test::FileBytes(images[0]), before[0]);
        EXPECT_EQ(test::FileBytes(images[1]), before[1]);
        EXPECT_FALSE(std::filesystem::exists(sim::HostPath("C:\\Images\\b.bin")));
        EXPECT_EQ(sim::Messages().back().text.rfind("The selected disk was removed or replaced", 0), 0u);
        EXPECT_EQ(sim::OpenDeviceCount(), 0);
    }
    sim::Reset();
}

}  // namespace
}  // namespace vu
