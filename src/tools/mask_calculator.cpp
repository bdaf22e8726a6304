// The FixDsdtMask calculator; see mask_calculator.h.
#include "tools/mask_calculator.h"

#include <cstdio>
#include <cstdlib>

#include "core/gadget_numbers.h"
#include "core/settings.h"
#include "platform/gui.h"
#include "tools/dsdt_mask_bits.h"

namespace vu {

namespace {

using plat::GadgetKind;

constexpr uint32_t Blue = 0xFF0000;  // 0x00BBGGRR

// Without NewWay Clover reads only the low 16 bits; bits 16..28 are the new way's own fixes.
constexpr int FirstNewWayOnlyBit = 16, LastNewWayOnlyBit = 28;

const char* const kIntroduction =
    "You can choose FixDsdtMask here.\r\n\r\n"
    "All of the information is taken from\r\n"
    "the documentation of the Clover bootloader created by Orvel.\r\n\r\n"
    "  Enjoy...";

int BoxOf(int bit) { return FirstBitBox + bit; }

// First column bits 0..15 from y 35; second column "NewWay" at y 35, then bits 16..30.
plat::Rect BoxRect(int bit) {
    if (bit < 16) return {20, 35 + 20 * bit, 95, 20};
    if (bit == NewWayBit) return {120, 35, 95, 20};
    return {120, 55 + 20 * (bit - 16), 95, 20};
}

uint32_t MaskFromBoxes() {
    uint32_t mask = 0;
    for (int bit = 0; bit < DsdtMaskBitCount; bit++)
        if (plat::GetGadgetState(BoxOf(bit))) mask |= uint32_t(1) << bit;
    return mask;
}

// Without NewWay the high bits mean nothing: they leave the value and their boxes are disabled
// (they keep their check marks, so that switching NewWay back on restores them).
uint32_t ApplyNewWay(uint32_t mask) {
    bool newWay = plat::GetGadgetState(BoxOf(NewWayBit)) != 0;
    for (int bit = FirstNewWayOnlyBit; bit <= LastNewWayOnlyBit; bit++) plat::DisableGadget(BoxOf(bit), !newWay);
    return newWay ? mask : mask & 0xFFFF;
}

void ShowMask(uint32_t mask) {
    FixDsdtMask = MaskHexText(mask);
    plat::SetGadgetText(HexField, "0x" + FixDsdtMask);
    plat::SetGadgetText(BinaryField, MaskBinaryText(mask));
}

void ShowInfo(const std::string& caption, const std::string& text) {
    plat::SetGadgetText(InfoFrame, caption);
    plat::SetGadgetText(DescriptionText, text);
}

void Create(int gadget, GadgetKind kind, plat::Rect rect, const std::string& text, unsigned flags = 0) {
    plat::CreateGadget(CalculatorWindow, gadget, kind, rect, text, flags);
}

}  // namespace

std::string MaskHexText(uint32_t mask) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", unsigned(mask));
    return text;
}

std::string MaskBinaryText(uint32_t mask) {
    std::string text(32, '0');
    for (int bit = 0; bit < 32; bit++)
        if (mask & (uint32_t(1) << bit)) text[size_t(31 - bit)] = '1';
    return text;
}

void OpenMaskCalculator() {
    plat::Rect main = plat::WindowFrame(MainWindow);
    int x = main.x + (main.w - CalculatorClientWidth) / 2, y = main.y + (main.h - CalculatorClientHeight) / 2;
    if (!plat::OpenWindow(CalculatorWindow, x, y, CalculatorClientWidth, CalculatorClientHeight,
                          "Clover FixDsdtMask Calculator", plat::WindowSystemMenu | plat::WindowParentCentered,
                          MainWindow))
        return;
    plat::DisableWindow(MainWindow, true);

    Create(FixBitsFrame, GadgetKind::Frame, {10, 10, 210, 350}, "FIX BITS");
    for (int bit = 0; bit < DsdtMaskBitCount; bit++) {
        Create(BoxOf(bit), GadgetKind::CheckBox, BoxRect(bit), DsdtBit(bit).label);
        if (IsUnusedDsdtBit(bit)) plat::DisableGadget(BoxOf(bit), true);
    }
    Create(MaskFrame, GadgetKind::Frame, {230, 10, 295, 80}, "FixDsdtMask");
    Create(BinaryField, GadgetKind::String, {240, 30, 275, 22}, std::string(32, '1'), plat::GadgetReadOnly);
    Create(HexField, GadgetKind::String, {240, 58, 100, 22}, "0xFFFFFFFF", plat::GadgetReadOnly);
    plat::SetGadgetTextColor(HexField, Blue);
    Create(InfoFrame, GadgetKind::Frame, {230, 95, 295, 235}, "Info");
    Create(DescriptionText, GadgetKind::Editor, {240, 115, 275, 205}, "", plat::GadgetReadOnly);
    Create(FullMaskButton, GadgetKind::Button, {240, 338, 85, 22}, "Full");
    Create(ClearMaskButton, GadgetKind::Button, {335, 338, 85, 22}, "Clear");
    Create(DefaultMaskButton, GadgetKind::Button, {430, 338, 85, 22}, "Default");
    Create(CalculatorOkButton, GadgetKind::Button, {176, 370, 183, 22}, "OK");
    ApplyMask();
}

void OnMaskBoxClicked(int box) {
    int bit = box - FirstBitBox;
    if (bit < 0 || bit >= DsdtMaskBitCount) return;
    uint32_t mask = MaskFromBoxes();
    ShowInfo(DsdtBit(bit).name, DsdtBit(bit).explanation);
    if (bit == NewWayBit) mask = ApplyNewWay(mask);
    ShowMask(mask);
}

void ApplyMask() {
    uint32_t value = uint32_t(std::strtoul(FixDsdtMask.c_str(), nullptr, 16));
    for (int bit = 0; bit < DsdtMaskBitCount; bit++) plat::SetGadgetState(BoxOf(bit), (value >> bit) & 1);
    ShowMask(ApplyNewWay(value));
    plat::SetGadgetText(DescriptionText, kIntroduction);
}

bool CalculatorGadget(int gadget, int kind) {
    switch (gadget) {
        case ClearMaskButton:
        case FullMaskButton:
            FixDsdtMask = gadget == ClearMaskButton ? ClearMask : FullMask;
            ApplyMask();
            ShowInfo("", "");
            return true;
        case DefaultMaskButton:
            FixDsdtMask = DefaultMask;
            ApplyMask();
            ShowInfo("Set the NewWay mask", "New way mask for the safe booting 0x87E7FBF1.");
            return true;
    }
    if (gadget >= FirstBitBox && gadget < FirstBitBox + DsdtMaskBitCount) {
        OnMaskBoxClicked(gadget);
        return true;
    }
    return false;
}

}  // namespace vu
