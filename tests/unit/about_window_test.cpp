// The About window on the simulated PC: its gadgets, its links and its "OK".
#include <gtest/gtest.h>

#include <string>

#include "app/about_window.h"
#include "app/event_loop.h"
#include "app/main_window.h"
#include "app/register_operations.h"
#include "app/web_links.h"
#include "core/globals.h"
#include "core/settings.h"
#include "core/taskbar_progress.h"
#include "embedded.h"
#include "platform/gui.h"
#include "platform/sim/sim.h"

namespace vu {
namespace {

class AboutWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        RegisterOperations();
        SetSettingsStartValues();
        ReadProgramIdentity();
        BuildMainWindow();
    }
    void TearDown() override {
        if (TaskbarProgress) TaskbarProgress->Free();
        TaskbarProgress = nullptr;
    }
    static void Menu(int item) { DispatchEvent(plat::EventMenu, MainWindow, item, 0); }
};

TEST_F(AboutWindowTest, AboutWindowShowsEveryGadgetAndLeavesTheMainWindowEnabled) {
    Menu(MenuAbout);
    auto window = sim::Window(AboutWindow);
    ASSERT_TRUE(window);
    EXPECT_EQ(window->title, "About");
    EXPECT_EQ(window->frame.w, 400);
    EXPECT_EQ(window->frame.h, 400);
    EXPECT_TRUE(window->flags & plat::WindowScreenCentered);
    EXPECT_FALSE(plat::IsWindowDisabled(MainWindow));

    using K = plat::GadgetKind;
    struct Row {
        int number;
        K kind;
        plat::Rect rect;
        std::string text;
    };
    const Row rows[] = {
        {100, K::Image, {60, 25, 96, 96}, std::to_string(ProgramIconImage)},
        {97, K::Link, {30, 110, 80, 15}, "- Clover source -"},
        {94, K::Link, {30, 130, 140, 15}, "- Russian Clover discussion -"},
        {98, K::Link, {30, 150, 80, 15}, "- Clover WiKi -"},
        {132, K::Text, {210, 15, 125, 75}, AboutText},
        {99, K::Link, {200, 90, 180, 15}, "- Donate Zarn (PayPal) please -"},
        {124, K::Text, {190, 115, 175, 70},
         "Velloran Utility is intended to make a external bootable USB Flash Disk by installing to it special "
         "Data set (MBR, PBR sectors and Data files) of EFI-based Clover bootloader."},
        {77, K::Frame, {5, 185, 390, 180}, ""},
        {125, K::Text, {30, 200, 360, 180}, std::string(HowToText())},
        {9, K::Button, {108, 374, 183, 20}, "OK"},
    };
    EXPECT_EQ(sim::GadgetsOf(AboutWindow).size(), std::size(rows));
    for (const Row& row : rows) {
        auto g = sim::Gadget(row.number);
        ASSERT_TRUE(g) << row.number;
        EXPECT_EQ(g->window, AboutWindow) << row.number;
        EXPECT_EQ(g->kind, row.kind) << row.number;
        EXPECT_EQ(g->rect, row.rect) << row.number;
        EXPECT_EQ(g->text, row.text) << row.number;
        if (row.kind == K::Link) {
            EXPECT_EQ(g->linkNormal, 0x808080u) << row.number;  // grey
            EXPECT_EQ(g->linkHover, 0xFF0000u) << row.number;   // blue
        }
    }
    EXPECT_TRUE(sim::Gadget(132)->flags & plat::GadgetCenter);
    EXPECT_TRUE(plat::ImageExists(ProgramIconImage));
}

TEST_F(AboutWindowTest, AboutLinksOpenTheirPagesAndOkGoesBackToTheMainWindow) {
    Menu(MenuAbout);
    struct Link {
        int gadget;
        const char* address;
    };
    for (Link link : {Link{97, links::CloverSourcePage}, {94, links::RussianForumThread}, {98, links::CloverWiki},
                      {99, links::DonationPage}}) {
        plat::Rect r = plat::GadgetScreenRect(link.gadget);
        sim::SetCursor({r.x + 2, r.y + 2});
        DispatchEvent(plat::EventLeftClick, AboutWindow, 0, 0);
        ASSERT_FALSE(sim::ShellOpened().empty());
        EXPECT_EQ(sim::ShellOpened().back(), link.address) << link.gadget;
    }
    int activations = sim::Window(MainWindow)->activations;
    DispatchEvent(plat::EventGadget, AboutWindow, AboutOkButton, 0);
    EXPECT_FALSE(plat::WindowExists(AboutWindow));
    EXPECT_EQ(sim::Window(MainWindow)->activations, activations + 1);
}

}  // namespace
}  // namespace vu
