// The main event loop and its dispatch tables; see event_loop.h.
#include "app/event_loop.h"

#include <thread>

#include "app/main_window.h"
#include "app/session_end.h"
#include "app/web_links.h"
#include "core/globals.h"
#include "core/operations.h"
#include "core/settings.h"
#include "core/status_bar.h"
#include "platform/gui.h"
#include "platform/system.h"

namespace vu {

namespace {

bool Idle() { return OperationBusy == 0; }

void FillDriveList() { Call(Ops.fillDriveList); }

// Closes a child window and gives the main window back to the user.
void CloseChild(int window) {
    plat::DisableWindow(MainWindow, false);
    plat::ActivateWindow(MainWindow);
    plat::CloseWindow(window);
}

// The run counts as busy from the click on, before its thread runs: a second click (the second
// half of a double click) then cancels it instead of starting a second run on the same disk. Its
// cancel is cleared here, not by its thread, so that such a press is not lost; the settings it
// works from are copied here too.
void StartOperation(Job operation, int argument) {
    if (!operation) return;
    OperationBusy = 1;
    AbortRequested = 0;
    if (!StartJob(operation, argument)) OperationBusy = 0;
}

bool Stopped() { return Idle() && DownloadBusy == 0; }

// The close box and Alt+F4 of the main window, and "Exit" and "&Quit" (which act only while no
// operation runs, but a download may). Quitting under a running operation or download would end
// the process in the middle of a write and leave a partial file behind, so the user is asked first;
// a Yes cancels and the loop ends once the work has stopped.
void OnCloseMainWindow() {
    if (Stopped()) {
        QuitRequested = 1;
        return;
    }
    if (QuitWhenStopped) return;  // already asked and cancelling
    int answer = plat::MessageBox("Warning",
                                  "An operation is still running.\r\n\r\nCancel it and quit when it has stopped?",
                                  plat::MbYesNo | plat::MbIconWarning);
    if (answer != plat::IdYes) return;
    if (!Idle()) {
        FormatFailed = 1;
        AbortRequested = 1;
    }
    DownloadAbortRequested = 1;
    QuitWhenStopped = 1;
}

void OnMainGadget(int gadget) {
    bool idle = Idle();
    switch (gadget) {
        case DlCenterButton:
            if (idle) Call(Ops.openDownloadCenter);
            else if (plat::GetGadgetText(DlCenterButton) == "Cancel DL") AbortRequested = 1;
            break;
        case FormatButton:
            if (idle) {
                StartOperation(Ops.formatDrive, FormatInstallArgument());
            } else {
                FormatFailed = 1;
                AbortRequested = 1;
            }
            break;
        case BackupButton:
            if (idle) StartOperation(Ops.backupPartition, 1);
            else AbortRequested = 1;
            break;
        case RestoreButton:
            if (idle) StartOperation(Ops.restorePartition, 1);
            else AbortRequested = 1;
            break;
        case ExitButton:
            if (idle) OnCloseMainWindow();
            break;
        case EjectButton:
            if (idle) {
                if (Ops.ejectSelectedDrive) Ops.ejectSelectedDrive();
                FillDriveList();
            }
            break;
        case RefreshButton:
            // The list keeps the chosen disk selected itself, wherever its line moves.
            if (idle) FillDriveList();
            break;
    }
}

// Gadgets 9 to 139 belong to the child windows; the window's own module handles most of them.
void OnChildGadget(int gadget, int kind) {
    switch (gadget) {
        case 9:  // About: "OK"
            plat::ActivateWindow(MainWindow);
            plat::CloseWindow(AboutWindow);
            return;
        case 10:  // Configuration: "Check Now"
            StartRevisionCheck();
            return;
        case 11:  // Configuration: "OK"
            CloseChild(ConfigurationWindow);
            Call(Ops.writeSettings);
            return;
        case 12:  // Calculator: "OK"
            CloseChild(CalculatorWindow);
            return;
    }
    if (Ops.configurationGadget && Ops.configurationGadget(gadget, kind)) return;
    if (Ops.downloadCenterGadget && Ops.downloadCenterGadget(gadget, kind)) return;
    if (Ops.calculatorGadget) Ops.calculatorGadget(gadget, kind);
}

void OnMenu(int item) {
    bool idle = Idle();
    switch (item) {
        case MenuConfiguration:
            if (idle) Call(Ops.openConfigurationWindow);
            break;
        case MenuCalculator:
            Call(Ops.openCalculator);
            break;
        case MenuInstallHfsDrivers:
            if (idle) Call(Ops.installHfsDrivers);
            break;
        case MenuUninstallHfsDrivers:
            if (idle) Call(Ops.uninstallHfsDrivers);
            break;
        case MenuExtractHfs:
            // Busy before the thread runs, so that a second choice cannot start a second run.
            if (idle) StartOperation(Ops.extractHfsFromDmg, 1);
            break;
        case MenuHelp:
            if (!plat::ShellOpen(ProgramFolder + "VelloranUtility.chm"))
                plat::MessageBox("Error", "Not found help file: VelloranUtility.chm", plat::MbIconError);
            break;
        case MenuCloverWiki:
            plat::ShellOpen(links::CloverWiki);
            break;
        case MenuCloudEditor:
            plat::ShellOpen(links::CloudCloverEditor);
            break;
        case MenuAbout:
            Call(Ops.openAboutWindow);
            break;
        case MenuQuit:
            if (idle) OnCloseMainWindow();
            break;
    }
}

void OnCloseWindow(int window) {
    switch (window) {
        case MainWindow:
            OnCloseMainWindow();
            break;
        case AboutWindow:
        case CalculatorWindow:
        case DownloadCenterWindow:  // its close box does what its "Exit" does
            CloseChild(window);
            break;
        case ConfigurationWindow:
            CloseChild(window);
            Call(Ops.writeSettings);
            break;
    }
}

struct LinkTarget {
    int window, gadget;
    const char* address;
};
const LinkTarget kLinks[] = {
    {MainWindow, MakerLink, links::MakerHomePage},
    {ConfigurationWindow, 122, links::CloverChangeLog},
    {AboutWindow, 97, links::CloverSourcePage},
    {AboutWindow, 98, links::CloverWiki},
    {AboutWindow, 94, links::RussianForumThread},
    {AboutWindow, 99, links::DonationPage},
};

void OnLeftClick(int window) {
    for (const auto& link : kLinks)
        if (link.window == window && plat::GadgetExists(link.gadget) && CursorOverGadget(link.gadget)) {
            plat::ShellOpen(link.address);
            return;
        }
}

}  // namespace

int FormatInstallArgument() {
    if (Boot_records == "FreeDos") return 1;
    if ((Boot_records == "Clover" || Boot_records == "Not_Format") && InstallDataSet != "Not_Install") return 1;
    return 0;
}

void StartRevisionCheck() {
    if (!Ops.checkLatestRevision) return;
    // The check clears DownloadBusy when it ends; it is taken before the thread runs so that a
    // quick check cannot clear it first, and atomically, as download jobs start on other threads.
    intptr_t free = 0;
    if (!DownloadBusy.compare_exchange_strong(free, 1)) return;
    DownloadAbortRequested = 0;
    std::thread(Ops.checkLatestRevision, 1).detach();
}

void DispatchEvent(int type, int window, int number, int kind) {
    switch (type) {
        case plat::EventRefresh:
            // A refresh armed before an operation started may come due while it runs: the run
            // rescans the disks itself and refreshes the list at its end.
            if (Idle()) FillDriveList();
            break;
        case plat::EventWriteSettings:
            Call(Ops.writeSettings);
            break;
        case plat::EventListReplaced:
            if (Ops.downloadListReplaced) Ops.downloadListReplaced(number);
            break;
        case plat::EventGadget:
            if (number == StatusBarGadget) Call(Ops.statusBarClick);
            else if (number <= RefreshButton) OnMainGadget(number);
            else OnChildGadget(number, kind);
            break;
        case plat::EventMenu:
            OnMenu(number);
            break;
        case plat::EventCloseWindow:
            OnCloseWindow(window);
            break;
        case plat::EventLeftClick:
            OnLeftClick(window);
            break;
    }
}

void RunEventLoop() {
    while (!QuitRequested) {
        plat::Event e = plat::WaitEvent(100);
        if (e.type != plat::EventNone) DispatchEvent(e.type, e.window, e.number, e.kind);
        HoldUpSessionEndWhileBusy();
        if (QuitWhenStopped && Stopped()) QuitRequested = 1;
    }
    HoldUpSessionEndWhileBusy();
}

}  // namespace vu
