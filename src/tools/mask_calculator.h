// The FixDsdtMask calculator (window 4): one check box per bit of Clover's 32-bit FixDsdtMask, the
// value in hexadecimal and binary, and the name and explanation of the last box clicked. It keeps
// the value in the settings variable FixDsdtMask (eight upper-case hexadecimal digits), which the
// settings file saves. Opened and served on the main thread.
#pragma once
#include <cstdint>
#include <string>

namespace vu {

enum CalculatorGadgetNumber : int {
    CalculatorOkButton = 12,
    ClearMaskButton = 14,
    FullMaskButton = 15,
    DefaultMaskButton = 16,
    FirstBitBox = 24,  // the box of bit i is gadget 24 + i, up to 55 for bit 31 ("NewWay")
    FixBitsFrame = 85,
    MaskFrame = 86,
    InfoFrame = 87,
    BinaryField = 137,
    HexField = 138,
    DescriptionText = 139,
};

constexpr int CalculatorClientWidth = 535;
constexpr int CalculatorClientHeight = 400;

// The named masks of the "Default", "Full" and "Clear" buttons. Full is every bit but the unused
// bits 29 and 30.
inline constexpr const char* DefaultMask = "87E7FBF1";
inline constexpr const char* FullMask = "9FFFFFFF";
inline constexpr const char* ClearMask = "00000000";

// The mask as eight upper-case hexadecimal digits, and as 32 binary digits.
std::string MaskHexText(uint32_t mask);
std::string MaskBinaryText(uint32_t mask);

// Opens window 4 centred over the main window, which is disabled while it is open, and shows the
// stored mask.
void OpenMaskCalculator();

// A click on box `box` (gadget 24..55): the mask is read from all 32 boxes again.
void OnMaskBoxClicked(int box);

// Sets the boxes from FixDsdtMask and shows the value.
void ApplyMask();

// A gadget event of window 4 other than "OK" (which the loop handles itself); true when the
// gadget belongs to this window.
bool CalculatorGadget(int gadget, int kind);

}  // namespace vu
