// The status bar picture, the taskbar mirror and the error texts.
#include <gtest/gtest.h>

#include "app/main_window.h"
#include "core/settings.h"
#include "core/status_bar.h"
#include "core/taskbar_progress.h"
#include "platform/clock.h"
#include "platform/sim/sim.h"
#include "platform/system.h"

namespace vu {
namespace {

class StatusBar : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        SetSettingsStartValues();
        BuildMainWindow();
        sim::ClearTaskbarCalls();
    }
    static std::vector<plat::DrawOp> Picture() { return sim::Gadget(StatusBarGadget)->picture; }
    static plat::DrawOp Fill() { return Picture()[3]; }
    static plat::DrawOp Text() { return Picture()[4]; }
};

TEST_F(StatusBar, FillWidthIsTruncatedShareOfTheInnerWidth) {
    DrawProgressBar(StatusBarGadget, "Copying", 35);
    // 470 wide with 3-pixel margins: 464 inner pixels, 35 % of them truncated.
    EXPECT_EQ(Fill().rect, (plat::Rect{3, 3, 35 * 464 / 100, 15}));
    EXPECT_EQ(Fill().radius, 2);
    EXPECT_EQ(Fill().rgb, 0xFFCC66u);  // RGB 102, 204, 255
    EXPECT_EQ(Picture()[1].rect, (plat::Rect{1, 1, 468, 20}));
    EXPECT_EQ(Picture()[2].rect, (plat::Rect{0, 0, 470, 20}));
    EXPECT_EQ(Picture()[2].rgb, 0xE5DFD5u);  // RGB 213, 223, 229
}

TEST_F(StatusBar, TextIsCentredOnTheInnerAreaAndRaisedByOnePixel) {
    DrawProgressBar(StatusBarGadget, "Wait", 0);
    plat::Rect size = plat::MeasureText("Wait");
    EXPECT_EQ(Text().text, "Wait");
    EXPECT_EQ(Text().rect.x, 3 + (464 - size.w) / 2);
    EXPECT_EQ(Text().rect.y, 3 + (15 - size.h) / 2 - 1);
}

TEST_F(StatusBar, PercentIsClampedAndMirroredOnTheTaskbar) {
    DrawProgressBar(StatusBarGadget, "x", 150);
    EXPECT_EQ(Fill().rect.w, 464);
    EXPECT_EQ(sim::TaskbarCalls(), (std::vector<std::string>{"state 2", "value 100/100"}));
    EXPECT_EQ(TaskbarProgress->GetValue(), 100);
    sim::ClearTaskbarCalls();
    DrawProgressBar(StatusBarGadget, "", -5);
    EXPECT_EQ(Fill().rect.w, 0);
    EXPECT_EQ(sim::TaskbarCalls(), (std::vector<std::string>{"value 0/100", "state 0"}));
    EXPECT_EQ(TaskbarProgress->GetState(), 0);
}

TEST_F(StatusBar, BackgroundUsesButtonFaceWhenWindowColourIsWhiteOrBlack) {
    sim::SetSystemColor(plat::ColorWindow, 0xFFFFFF);
    EXPECT_EQ(WindowBackColor(), 0xF0F0F0u);
    sim::SetSystemColor(plat::ColorWindow, 0);
    EXPECT_EQ(WindowBackColor(), 0xF0F0F0u);
    sim::SetSystemColor(plat::ColorWindow, 0x123456);
    EXPECT_EQ(WindowBackColor(), 0x123456u);
    DrawProgressBar(StatusBarGadget, "", 0);
    EXPECT_EQ(Picture()[0].rgb, 0x123456u);
}

TEST_F(StatusBar, ShowStatusWaitsOnlyForNonEmptyText) {
    int64_t start = plat::TickCount();
    ShowStatus("", 2000);
    EXPECT_EQ(plat::TickCount(), start);
    ShowStatus("Step", 2000);
    EXPECT_EQ(plat::TickCount(), start + 2000);
    EXPECT_EQ(Text().text, "Step");
}

TEST_F(StatusBar, WindowsErrorTextDropsTheClosingLineBreak) {
    EXPECT_EQ(WindowsErrorText(5), "Error: Access is denied.");
    EXPECT_EQ(WindowsErrorText(123456), "Error: ");
}

TEST(TaskbarProgress, CreationClampsRangeAndStateFilterIgnoresUnknownStates) {
    sim::Reset();
    auto* progress = CreateTaskbarProgress(0, -10, -20);
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(sim::TaskbarCalls(), (std::vector<std::string>{"create", "value 0/0", "state 0"}));
    progress->SetValue(55);
    EXPECT_EQ(progress->GetValue(), 0);
    progress->Free();

    sim::ClearTaskbarCalls();
    progress = CreateTaskbarProgress(0, 0, 100);
    for (int state : {0, 1, 2, 4, 8}) {
        progress->SetState(state);
        EXPECT_EQ(progress->GetState(), state);
    }
    progress->SetState(3);
    progress->SetState(16);
    EXPECT_EQ(progress->GetState(), 8);
    progress->SetValue(-4);
    EXPECT_EQ(progress->GetValue(), 0);
    progress->Free();
}

TEST(TaskbarProgress, OlderPlatformGivesNullAndFailedCreationGivesAnInertObject) {
    sim::Reset();
    sim::SetWindows7OrLater(false);
    EXPECT_EQ(CreateTaskbarProgress(0, 0, 100), nullptr);
    sim::SetWindows7OrLater(true);
    sim::FailTaskbarCreation(true);
    auto* progress = CreateTaskbarProgress(0, 0, 100);
    ASSERT_NE(progress, nullptr);
    progress->SetState(2);
    progress->SetValue(50);
    EXPECT_EQ(progress->GetState(), 0);
    EXPECT_EQ(progress->GetValue(), 0);
    EXPECT_TRUE(sim::TaskbarCalls().empty());
    progress->Free();
}

}  // namespace
}  // namespace vu
