// The About window; see about_window.h.
#include "app/about_window.h"

#include <string>

#include "app/main_window.h"
#include "core/globals.h"
#include "embedded.h"
#include "platform/gui.h"

namespace vu {

namespace {

using plat::GadgetKind;

constexpr uint32_t Grey = 0x808080, Blue = 0xFF0000;  // 0x00BBGGRR
constexpr int H = AboutClientHeight;

const char* const kDescription =
    "Velloran Utility is intended to make a external bootable USB Flash Disk by installing to it special "
    "Data set (MBR, PBR sectors and Data files) of EFI-based Clover bootloader.";

struct LinkSpec {
    int number;
    plat::Rect rect;
    const char* text;
};

const LinkSpec kLinks[] = {
    {CloverSourceLink, {30, 110, 80, 15}, "- Clover source -"},
    {RussianForumLink, {30, 130, 140, 15}, "- Russian Clover discussion -"},
    {CloverWikiLink, {30, 150, 80, 15}, "- Clover WiKi -"},
};

void CreateLink(const LinkSpec& link) {
    plat::CreateGadget(AboutWindow, link.number, GadgetKind::Link, link.rect, link.text);
    plat::SetLinkColors(link.number, Grey, Blue);
}

}  // namespace

void OpenAboutWindow() {
    if (plat::WindowExists(AboutWindow)) {
        plat::ActivateWindow(AboutWindow);
        return;
    }
    if (!plat::OpenWindow(AboutWindow, 0, 0, AboutClientWidth, AboutClientHeight, "About",
                          plat::WindowSystemMenu | plat::WindowScreenCentered))
        return;
    // Modeless: the main window stays usable while the About window is open.
    plat::DisableWindow(MainWindow, false);

    if (!plat::ImageExists(ProgramIconImage)) plat::CatchProgramIcon(ProgramIconImage, 72);
    plat::CreateGadget(AboutWindow, AboutIconImage, GadgetKind::Image, {60, 25, 96, 96},
                       std::to_string(ProgramIconImage));
    for (const auto& link : kLinks) CreateLink(link);
    plat::CreateGadget(AboutWindow, AboutIdentityText, GadgetKind::Text, {210, 15, 125, 75}, AboutText,
                       plat::GadgetCenter);
    CreateLink({DonateLink, {200, 90, 180, 15}, "- Donate Zarn (PayPal) please -"});
    plat::CreateGadget(AboutWindow, AboutDescriptionText, GadgetKind::Text, {190, 115, 175, 70}, kDescription);
    plat::CreateGadget(AboutWindow, AboutHowToFrame, GadgetKind::Frame, {5, 185, 390, H - 220}, "");
    plat::CreateGadget(AboutWindow, AboutHowToText, GadgetKind::Text, {30, 200, 360, H - 220},
                       std::string(HowToText()));
    plat::CreateGadget(AboutWindow, AboutOkButton, GadgetKind::Button, {108, H - 26, 183, 20}, "OK");
}

}  // namespace vu
