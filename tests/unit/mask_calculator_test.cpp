// The FixDsdtMask calculator on the simulated PC: its layout, the named masks, and how the NewWay
// bit hides and restores the high bits.
#include <gtest/gtest.h>

#include <string>

#include "app/event_loop.h"
#include "app/main_window.h"
#include "app/register_operations.h"
#include "core/settings.h"
#include "core/taskbar_progress.h"
#include "platform/gui.h"
#include "platform/sim/sim.h"
#include "tools/dsdt_mask_bits.h"
#include "tools/mask_calculator.h"

namespace vu {
namespace {

class MaskCalculator : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        RegisterOperations();
        SetSettingsStartValues();
        BuildMainWindow();
    }
    void TearDown() override {
        if (TaskbarProgress) TaskbarProgress->Free();
        TaskbarProgress = nullptr;
    }

    static void Pump() {
        while (sim::PendingEvents()) {
            plat::Event e = plat::WaitEvent(0);
            DispatchEvent(e.type, e.window, e.number, e.kind);
        }
    }
    static void Open() {
        sim::ChooseMenu(MenuCalculator);
        Pump();
        ASSERT_TRUE(plat::WindowExists(CalculatorWindow));
    }
    static void Click(int gadget) {
        sim::Click(gadget);
        Pump();
    }
    static int Box(int bit) { return FirstBitBox + bit; }
    static bool Checked(int bit) { return plat::GetGadgetState(Box(bit)) != 0; }
    static bool Enabled(int bit) { return !plat::IsGadgetDisabled(Box(bit)); }
    static std::string Text(int gadget) { return plat::GetGadgetText(gadget); }
};

TEST_F(MaskCalculator, OpensOverTheDisabledMainWindowWithItsGadgetsInPlace) {
    Open();
    auto window = sim::Window(CalculatorWindow);
    EXPECT_EQ(window->title, "Clover FixDsdtMask Calculator");
    EXPECT_EQ(window->frame.w, 535);
    EXPECT_EQ(window->frame.h, 400);
    EXPECT_TRUE(window->flags & plat::WindowParentCentered);
    EXPECT_TRUE(plat::IsWindowDisabled(MainWindow));

    struct Place {
        int bit, x, y;
    };
    for (Place p : {Place{0, 20, 35}, {15, 20, 335}, {31, 120, 35}, {16, 120, 55}, {30, 120, 335}}) {
        auto box = sim::Gadget(Box(p.bit));
        ASSERT_TRUE(box) << p.bit;
        EXPECT_EQ(box->kind, plat::GadgetKind::CheckBox);
        EXPECT_EQ(box->rect.x, p.x) << p.bit;
        EXPECT_EQ(box->rect.y, p.y) << p.bit;
        EXPECT_EQ(box->text, DsdtBit(p.bit).label);
    }
    for (int bit = 0; bit < DsdtMaskBitCount; bit++) EXPECT_TRUE(plat::GadgetExists(Box(bit))) << bit;
    EXPECT_EQ(Text(FixBitsFrame), "FIX BITS");
    EXPECT_EQ(Text(MaskFrame), "FixDsdtMask");
    EXPECT_EQ(sim::Gadget(HexField)->textColor, 0xFF0000u);  // blue
    for (int button : {FullMaskButton, ClearMaskButton, DefaultMaskButton, CalculatorOkButton})
        EXPECT_GT(sim::Gadget(button)->rect.y, sim::Gadget(InfoFrame)->rect.y) << button;

    // Opening shows the stored mask and the introduction.
    EXPECT_EQ(Text(HexField), "0x87E7FBF1");
    EXPECT_EQ(Text(BinaryField), "10000111111001111111101111110001");
    EXPECT_TRUE(Text(DescriptionText).starts_with("You can choose FixDsdtMask here."));
}

TEST_F(MaskCalculator, NamedMaskButtonsSetBoxesFieldsAndEnabling) {
    struct Case {
        int button;
        const char* hex;
        const char* binary;
        bool highBoxesEnabled;
        const char* caption;
    };
    const Case cases[] = {
        {ClearMaskButton, "0x00000000", "00000000000000000000000000000000", false, ""},
        {FullMaskButton, "0x9FFFFFFF", "10011111111111111111111111111111", true, ""},
        {DefaultMaskButton, "0x87E7FBF1", "10000111111001111111101111110001", true, "Set the NewWay mask"},
    };
    Open();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hex);
        Click(Box(3));  // leaves a caption behind that the button must replace
        Click(c.button);
        EXPECT_EQ(Text(HexField), c.hex);
        EXPECT_EQ(Text(BinaryField), c.binary);
        EXPECT_EQ("0x" + FixDsdtMask, c.hex);
        EXPECT_EQ(Text(InfoFrame), c.caption);
        uint32_t value = uint32_t(std::stoul(c.hex, nullptr, 16));
        for (int bit = 0; bit < DsdtMaskBitCount; bit++) {
            EXPECT_EQ(Checked(bit), ((value >> bit) & 1) != 0) << bit;
            bool high = bit >= 16 && bit <= 28;
            EXPECT_EQ(Enabled(bit), !IsUnusedDsdtBit(bit) && (!high || c.highBoxesEnabled)) << bit;
        }
    }
    EXPECT_EQ(Text(DescriptionText), "New way mask for the safe booting 0x87E7FBF1.");
}

TEST_F(MaskCalculator, UncheckingNewWayHidesTheHighBitsUntilTheNextClick) {
    Open();
    Click(FullMaskButton);
    Click(Box(NewWayBit));
    EXPECT_EQ(Text(HexField), "0x0000FFFF");
    EXPECT_EQ(FixDsdtMask, "0000FFFF");
    EXPECT_EQ(Text(InfoFrame), "NewWay_80000000");
    for (int bit = 16; bit <= 28; bit++) {
        EXPECT_TRUE(Checked(bit)) << bit;
        EXPECT_FALSE(Enabled(bit)) << bit;
    }
    // Another box counts every checked box again, the disabled high ones included.
    Click(Box(0));
    EXPECT_EQ(Text(HexField), "0x1FFFFFFE");
    EXPECT_EQ(Text(InfoFrame), "AddDTGP_0001");
    EXPECT_EQ(Text(DescriptionText), DsdtBit(0).explanation);
    // Checking NewWay again enables the high boxes with their marks.
    Click(Box(NewWayBit));
    EXPECT_EQ(Text(HexField), "0x9FFFFFFE");
    for (int bit = 16; bit <= 28; bit++) EXPECT_TRUE(Enabled(bit)) << bit;
}

TEST_F(MaskCalculator, StoredMaskWithoutNewWayLosesItsHighBitsButKeepsTheirMarks) {
    FixDsdtMask = "00FF0001";
    Open();
    EXPECT_EQ(Text(HexField), "0x00000001");
    EXPECT_EQ(FixDsdtMask, "00000001");
    for (int bit = 16; bit <= 23; bit++) EXPECT_TRUE(Checked(bit) && !Enabled(bit)) << bit;
}

TEST_F(MaskCalculator, OkGivesTheMainWindowBackAndKeepsTheMask) {
    Open();
    Click(ClearMaskButton);
    Click(CalculatorOkButton);
    EXPECT_FALSE(plat::WindowExists(CalculatorWindow));
    EXPECT_FALSE(plat::IsWindowDisabled(MainWindow));
    EXPECT_EQ(FixDsdtMask, "00000000");
}

}  // namespace
}  // namespace vu
