// The Recovery HD package chain cancelled by the user (the Download Center's button sets
// AbortRequested) at each of its steps: nothing of the run is left, in the working folder or in the
// image folder. Its results and failures are checked in tests/apple/extract_test.py.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/main_window.h"
#include "core/globals.h"
#include "platform/files.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_files.h"
#include "tools/recovery_package.h"

namespace fs = std::filesystem;

namespace vu {
namespace {

TEST(RecoveryPackage, CancelAtAnyStepLeavesNothing) {
    // Each step draws its progress under its own name; the cancel comes at the first line of one.
    for (std::string step : {"Unpacking RecoveryHDMeta.dmg:", "RecoveryHDMeta.dmg:", "BaseSystem.dmg:", "Checking BaseSystem.dmg:",
                             "RecoveryHD-16G29.hfs:"}) {
        sim::Reset();
        BuildMainWindow();
        fs::copy_file(std::string(VU_TEST_APPLE_DIR) + "/RecoveryHDUpdate.pkg",
                      sim::DriveRoot('D') + "/RecoveryHDUpdate.pkg");
        plat::CreateFolder("C:\\Work");
        plat::CreateFolder("E:\\Images");
        AbortRequested = 0;
        bool reached = false;
        sim::OnCanvas([&](int, const std::vector<plat::DrawOp>& picture) {
            for (const auto& op : picture)
                if (op.kind == plat::DrawOp::Text && op.text.rfind(step, 0) == 0) reached = true, AbortRequested = 1;
        });
        RecoveryHdExtraction result =
            ExtractRecoveryHdPackage("D:\\RecoveryHDUpdate.pkg", "16G29", "C:\\Work\\", "E:\\Images\\");
        sim::OnCanvas(nullptr);
        AbortRequested = 0;
        EXPECT_TRUE(reached) << step;
        EXPECT_EQ(result.outcome, RecoveryHdExtraction::Cancelled) << step << ": " << result.error;
        EXPECT_TRUE(plat::ListFolder("C:\\Work\\").empty()) << step;
        EXPECT_TRUE(plat::ListFolder("E:\\Images\\").empty()) << step;
    }
}

}  // namespace
}  // namespace vu
