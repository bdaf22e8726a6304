// The main window; see main_window.h.
#include "app/main_window.h"

#include "core/gadget_table.h"
#include "core/gadget_updates.h"
#include "core/globals.h"
#include "core/operations.h"
#include "core/settings.h"
#include "core/status_bar.h"
#include "core/taskbar_progress.h"
#include "platform/gui.h"
#include "platform/system.h"

namespace vu {

namespace {
constexpr uint32_t Rgb(int r, int g, int b) { return uint32_t(r) | uint32_t(g) << 8 | uint32_t(b) << 16; }

constexpr plat::GadgetKind kButton = plat::GadgetKind::Button;

// In the order they are created.
const GadgetSpec kButtons[] = {
    {BackupButton, kButton, {15, 178, 80, 26}, "Backup", "Backup selected Partition to Image file"},
    {RestoreButton, kButton, {100, 178, 80, 26}, "Restore", "Restore selected Partition from Image file"},
    {FormatButton, kButton, {185, 178, 80, 26}, "Format",
     "Prepare USB flash drive with one of several sets of boot records and Data Set of Bootloaders"},
    {EjectButton, kButton, {290, 178, 85, 26}, "Eject", "Safely ejecting of USB Flash drive"},
    {DlCenterButton, kButton, {380, 178, 85, 26}, "DL Center", "Open Zarn Download Center"},
    {ExitButton, kButton, {15, 209, 65, 26}, "Exit", ""},
    {RefreshButton, kButton, {380, 209, 85, 26}, "Refresh", "Force update of the list of connected drives"},
};

void BuildMenu() {
    plat::CreateMenu(MainMenu, MainWindow);
    plat::MenuTitle("Options");
    plat::MenuItem(MenuConfiguration, "&Configuration", 0);
    plat::MenuBar();
    plat::MenuItem(MenuQuit, "&Quit\tEsc");
    plat::MenuTitle("Tools");
    plat::MenuItem(MenuCalculator, "&FixDSDT Calculator for Clover", 1);
    plat::MenuItem(MenuInstallHfsDrivers, "&Install BootCamp HFS+ RO Driver", 2);
    plat::MenuItem(MenuUninstallHfsDrivers, "&UnInstall BootCamp HFS+ RO Driver", 2);
    Call(Ops.checkHfsDrivers);
    plat::MenuItem(MenuExtractHfs, "&Extract HFS(HFS+) partition from DMG-files", 3);
    plat::MenuTitle("&Help");
    plat::MenuItem(MenuHelp, "&Help", 4);
    plat::MenuItem(MenuCloverWiki, "&Clover WiKi", 4);
    plat::MenuItem(MenuCloudEditor, "Cloud Clover &Editor", 4);
    plat::MenuItem(MenuAbout, "&About", 5);
    plat::MenuTitle(" Latest Clover: Check It!");
    ShowLatestCloverRevision(CloverLastRev);
}
}  // namespace

std::string MainWindowTitle() { return "Velloran Utility " + VersionText + " by Ossen 01.12.2017"; }
const std::string MakerLinkText = "Velloran Utility team";

void BuildMainWindow() {
    plat::OpenWindow(MainWindow, WinX, WinY, MainClientWidth, MainClientHeight, MainWindowTitle(),
                     plat::WindowSystemMenu | plat::WindowMinimizeGadget | plat::WindowSizeGadget);
    plat::SetWindowSizeLimits(MainWindow, MainClientWidth, MainClientHeight, MainClientWidth, MainClientHeight);
    BuildMenu();
    plat::CreateGadget(MainWindow, DestinationFrame, plat::GadgetKind::Frame, {5, 2, 470, 149}, "Destination Disk");
    plat::CreateGadget(MainWindow, DriveListGadget, plat::GadgetKind::Tree, {10, 20, 460, 124}, "",
                       plat::GadgetAlwaysShowSelection);
    plat::CreateGadget(MainWindow, StatusBarGadget, plat::GadgetKind::Canvas, {5, 154, 470, 21}, "");
    CreateGadgets(MainWindow, kButtons);
    plat::CreateGadget(MainWindow, MakerLink, plat::GadgetKind::Link, {130, 216, 120, 15}, MakerLinkText);
    plat::SetLinkColors(MakerLink, Rgb(128, 128, 128), Rgb(0, 0, 255));
    // Built once per run; a rebuilt window (as tests do) takes over from the old object.
    if (TaskbarProgress) TaskbarProgress->Free();
    TaskbarProgress = CreateTaskbarProgress(MainWindow, 0, 100);
    DrawProgressBar(StatusBarGadget, "", 0);
}

void CenterWindowIfOffscreen(int window) {
    plat::Rect frame = plat::WindowFrame(window);
    plat::Rect desktop = plat::DesktopRect();
    if (frame.x + frame.w > desktop.w || frame.y + frame.h > desktop.h)
        plat::MoveWindow(window, desktop.w / 2 - frame.w / 2, desktop.h / 2 - frame.h / 2);
}

int CursorOverGadget(int gadget) {
    plat::Rect r = plat::GadgetScreenRect(gadget);
    plat::Point p = plat::CursorPosition();
    return p.x >= r.x && p.x < r.x + r.w && p.y >= r.y && p.y < r.y + r.h ? 1 : 0;
}

}  // namespace vu
