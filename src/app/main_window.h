// The main window (window 0): its menu, gadgets and tool tips, built in code at absolute pixel
// positions. Built once on the main thread.
#pragma once
#include <string>

namespace vu {

// Window numbers.
enum WindowNumber : int {
    MainWindow = 0,
    AboutWindow = 1,
    DownloadCenterWindow = 2,
    ConfigurationWindow = 3,
    CalculatorWindow = 4,
};

// Gadget numbers of the main window.
enum MainGadget : int {
    DlCenterButton = 1,
    FormatButton = 2,
    BackupButton = 3,
    RestoreButton = 4,
    ExitButton = 5,
    EjectButton = 6,
    RefreshButton = 7,
    DestinationFrame = 73,
    MakerLink = 95,
    DriveListGadget = 140,
};

constexpr int MainMenu = 103;

// Menu items of the main window.
enum MainMenuItem : int {
    MenuConfiguration = 1,
    MenuCalculator = 2,
    MenuInstallHfsDrivers = 3,
    MenuUninstallHfsDrivers = 4,
    MenuExtractHfs = 5,
    MenuHelp = 7,
    MenuCloverWiki = 8,
    MenuCloudEditor = 9,
    MenuAbout = 10,
    MenuQuit = 11,
};

constexpr int MainClientWidth = 480;
constexpr int MainClientHeight = 265;

// Built on each call: VersionText is a global of another file, which may not be initialised yet
// while this file's globals are.
std::string MainWindowTitle();
extern const std::string MakerLinkText;

// The fourth menu title, which shows the latest bootloader revision.
std::string LatestCloverMenuTitle(const std::string& cloverLastRev);
void ShowLatestCloverRevision(const std::string& cloverLastRev);

// Creates the window, its size bounds, menu, frame, drive list, status bar, buttons with their
// tool tips and the link text, and TaskbarProgress. The drive list stays empty.
void BuildMainWindow();

// Sets the width of a combo box's drop-down list; width <= 0 measures the widest item.
void FitComboDropWidth(int window, int combo, int width);

// Moves a window to the centre of the desktop when its right or bottom edge lies beyond it.
void CenterWindowIfOffscreen(int window);

// 1 when the mouse cursor is inside the gadget's screen rectangle, else 0.
int CursorOverGadget(int gadget);

}  // namespace vu
