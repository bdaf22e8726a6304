// What the executable carries besides the boot sectors (boot_images.h): the eight 16 x 16 icons,
// the HOW-TO text and the packed packages this build was given. Constant data: any thread may
// read it.
#pragma once

#include <cstddef>
#include <string_view>

namespace vu {

// Bytes of one embedded item; an item the build does not carry has no data and size 0.
struct EmbeddedSpan {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    bool empty() const { return size == 0; }
};

// The icons loaded at start-up as images 0 to 7, each an .ico file with a 24-bit and a 32-bit
// 16 x 16 image: 0 gear (configuration), 1 calculator, 2 disk (HFS+ drivers), 3 disk image (DMG),
// 4 help, 5 about, 6 USB disk (disk lines), 7 partition (partition lines).
constexpr int IconCount = 8;
EmbeddedSpan IconData(int index);  // empty outside 0..7

// The how-to text of the About window, lines separated by CR LF.
std::string_view HowToText();

// Packed packages (see prepare/package_unpack.h for the format). The FreeDOS system files and the
// HFS+ drivers are third-party files: a build carries them only when it was pointed at folders
// holding them, otherwise these spans are empty.
EmbeddedSpan FreeDosPackage();
// Hands over a FreeDOS package for a build that carries none (velloran-image --freedos); the bytes
// must stay valid while the program runs. An empty span takes it back.
void SupplyFreeDosPackage(EmbeddedSpan package);
EmbeddedSpan HfsDriversX86Package();
EmbeddedSpan HfsDriversX64Package();
bool HasFreeDosPackage();
bool HasHfsDriversPackages();  // both builds of the drivers

}  // namespace vu
