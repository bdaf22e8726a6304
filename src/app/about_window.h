// The About window (window 1): the program's icon and identity, a short description, the how-to
// text and four links. It leaves the main window enabled. Opened on the main thread; its "OK",
// close box and link clicks are handled by the main loop.
#pragma once

namespace vu {

enum AboutGadgetNumber : int {
    AboutOkButton = 9,
    AboutHowToFrame = 77,
    RussianForumLink = 94,
    CloverSourceLink = 97,
    CloverWikiLink = 98,
    DonateLink = 99,
    AboutIconImage = 100,
    AboutDescriptionText = 124,
    AboutHowToText = 125,
    AboutIdentityText = 132,
};

// The image number under which the program's own icon is shown (after the eight menu and drive
// list icons).
constexpr int ProgramIconImage = 8;

constexpr int AboutClientWidth = 400;
constexpr int AboutClientHeight = 400;

// Builds window 1 centred on the screen; a second call while it is open brings it to the front.
void OpenAboutWindow();

}  // namespace vu
