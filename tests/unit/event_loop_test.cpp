// The main loop's dispatch tables, the device-change debounce and the main window's helpers,
// on the simulated PC.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <string>
#include <vector>

#include "app/device_refresh.h"
#include "app/event_loop.h"
#include "app/main_window.h"
#include "app/register_operations.h"
#include "core/gadget_updates.h"
#include "core/globals.h"
#include "core/settings.h"
#include "platform/callbacks.h"
#include "platform/clock.h"
#include "platform/gui.h"
#include "platform/sim/sim.h"

namespace vu {
namespace {

std::atomic<int> formatStarts{0}, formatArgument{-1}, backupStarts{0}, restoreStarts{0}, refreshes{0};
std::atomic<int> downloadCenterOpens{0}, revisionChecks{0};

class EventLoop : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        SetSettingsStartValues();
        RegisterOperations();
        OperationBusy = AbortRequested = FormatFailed = QuitRequested = QuitWhenStopped = 0;
        DownloadBusy = 0;
        DownloadAbortRequested = 0;
        formatStarts = backupStarts = restoreStarts = refreshes = downloadCenterOpens = revisionChecks = 0;
        formatArgument = -1;
        Ops.formatDrive = [](int arg, const SettingsRecord&) { formatArgument = arg; ++formatStarts; };
        Ops.backupPartition = [](int, const SettingsRecord&) { ++backupStarts; };
        Ops.restorePartition = [](int, const SettingsRecord&) { ++restoreStarts; };
        Ops.fillDriveList = [] { ++refreshes; };
        Ops.openDownloadCenter = [] { ++downloadCenterOpens; };
        Ops.checkLatestRevision = [](int) { ++revisionChecks; };
        BuildMainWindow();
    }

    // Worker threads are detached; give them a moment to run.
    static void WaitFor(const std::atomic<int>& counter, int value) {
        for (int i = 0; i < 2000 && counter < value; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    static void Press(int gadget) { DispatchEvent(plat::EventGadget, 0, gadget, 0); }
};

TEST_F(EventLoop, IdleButtonsStartTheirOperations) {
    // Each run counts as busy from the click on (the stubs never end): the second click of a
    // double click cancels it instead of starting a second run on the same disk.
    struct Case {
        int button;
        std::atomic<int>& starts;
        int formatFailed;
    } cases[] = {{FormatButton, formatStarts, 1}, {BackupButton, backupStarts, 0}, {RestoreButton, restoreStarts, 0}};
    for (auto& c : cases) {
        SCOPED_TRACE(c.button);
        AbortRequested = 1;  // a cancel left over: the click clears it, before the run's thread runs
        Press(c.button);
        EXPECT_EQ(OperationBusy, 1);
        EXPECT_EQ(AbortRequested, 0);
        Press(c.button);
        EXPECT_EQ(AbortRequested, 1);
        EXPECT_EQ(FormatFailed, c.formatFailed);
        WaitFor(c.starts, 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(c.starts, 1);
        OperationBusy = 0, FormatFailed = 0, AbortRequested = 0;  // the run's end
    }
    EXPECT_EQ(formatArgument, FormatInstallArgument());
    Press(DlCenterButton);
    EXPECT_EQ(downloadCenterOpens, 1);
    EXPECT_EQ(AbortRequested, 0);
}

TEST_F(EventLoop, BusyButtonsCancelInsteadOfStartingASecondOperation) {
    OperationBusy = 1;
    Press(BackupButton);
    EXPECT_EQ(AbortRequested, 1);
    AbortRequested = 0;
    Press(RestoreButton);
    EXPECT_EQ(AbortRequested, 1);
    AbortRequested = 0;
    Press(FormatButton);
    EXPECT_EQ(FormatFailed, 1);
    EXPECT_EQ(AbortRequested, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(formatStarts + backupStarts + restoreStarts, 0);
}

TEST_F(EventLoop, DlCenterCancelsOnlyWhenItsCaptionSaysSo) {
    OperationBusy = 1;
    Press(DlCenterButton);
    EXPECT_EQ(AbortRequested, 0);
    plat::SetGadgetText(DlCenterButton, "Cancel DL");
    Press(DlCenterButton);
    EXPECT_EQ(AbortRequested, 1);
    EXPECT_EQ(downloadCenterOpens, 0);
}

TEST_F(EventLoop, ExitAndQuitWaitForTheOperation) {
    OperationBusy = 1;
    Press(ExitButton);
    DispatchEvent(plat::EventMenu, 0, MenuQuit, 0);
    EXPECT_EQ(QuitRequested, 0);
    OperationBusy = 0;
    Press(ExitButton);
    EXPECT_EQ(QuitRequested, 1);
}

// The close box (and Alt+F4) quits at once while nothing runs; under a running operation or
// download it asks, and Yes cancels and quits once the work has stopped.
TEST_F(EventLoop, TheCloseBoxAsksWhileSomethingRuns) {
    enum How { CloseBox, ExitButtonClick, QuitMenu };
    struct Case {
        const char* what;
        How how;
        int busy;
        intptr_t download;
        int answer;
        bool asked, quitsAtOnce, cancels;
    } cases[] = {
        {"idle", CloseBox, 0, 0, plat::IdYes, false, true, false},
        {"an operation runs, No", CloseBox, 1, 0, plat::IdNo, true, false, false},
        {"an operation runs, Yes", CloseBox, 1, 0, plat::IdYes, true, false, true},
        {"a download runs, Yes", CloseBox, 0, 42, plat::IdYes, true, false, true},
        // "Exit" and "&Quit" do nothing while an operation runs, but ask about a download.
        {"Exit, idle", ExitButtonClick, 0, 0, plat::IdYes, false, true, false},
        {"Exit, an operation runs", ExitButtonClick, 1, 0, plat::IdYes, false, false, false},
        {"Exit, a download runs, No", ExitButtonClick, 0, 42, plat::IdNo, true, false, false},
        {"Quit, a download runs, Yes", QuitMenu, 0, 42, plat::IdYes, true, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        OperationBusy = c.busy;
        DownloadBusy = c.download;
        sim::AnswerNextMessages({c.answer});
        if (c.how == CloseBox) DispatchEvent(plat::EventCloseWindow, MainWindow, 0, 0);
        if (c.how == ExitButtonClick) DispatchEvent(plat::EventGadget, MainWindow, ExitButton, 0);
        if (c.how == QuitMenu) DispatchEvent(plat::EventMenu, MainWindow, MenuQuit, 0);
        EXPECT_EQ(sim::Messages().size(), c.asked ? 1u : 0u);
        EXPECT_EQ(QuitRequested, c.quitsAtOnce ? 1 : 0);
        // Each job has its cancel: the operation's, and the download slot's own.
        EXPECT_EQ(AbortRequested, c.cancels && c.busy ? 1 : 0);
        EXPECT_EQ(DownloadAbortRequested, c.cancels ? 1 : 0);
        EXPECT_EQ(FormatFailed, c.cancels && c.busy ? 1 : 0);
        if (!c.cancels) continue;
        // A second close while it stops asks nothing more; the loop ends when the work has ended.
        sim::CloseBox(MainWindow);
        std::thread work([] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            OperationBusy = 0;
            DownloadBusy = 0;
        });
        RunEventLoop();
        work.join();
        EXPECT_EQ(sim::Messages().size(), 1u);
        EXPECT_EQ(QuitRequested, 1);
    }
}

TEST_F(EventLoop, FormatArgumentFollowsBootRecordsAndInstallDataSet) {
    struct Case {
        const char* bootRecords;
        const char* installDataSet;
        int expected;
    } cases[] = {
        {"FreeDos", "Not_Install", 1}, {"Clover", "DL", 1},         {"Clover", "Local", 1},
        {"Clover", "Not_Install", 0},  {"Not_Format", "Local", 1}, {"Not_Format", "Not_Install", 0},
        {"Windows", "DL", 0},
    };
    for (const auto& c : cases) {
        Boot_records = c.bootRecords;
        InstallDataSet = c.installDataSet;
        EXPECT_EQ(FormatInstallArgument(), c.expected) << c.bootRecords << " " << c.installDataSet;
    }
}

// The list keeps the chosen disk selected itself (drive_list_test): the button only rebuilds it.
TEST_F(EventLoop, RefreshRebuildsTheListOnlyWhenIdle) {
    Press(RefreshButton);
    EXPECT_EQ(refreshes, 1);
    OperationBusy = 1;
    Press(RefreshButton);
    EXPECT_EQ(refreshes, 1);
}

TEST_F(EventLoop, EjectRefreshesWhateverItsResult) {
    Ops.ejectSelectedDrive = [] { return false; };
    Press(EjectButton);
    EXPECT_EQ(refreshes, 1);
}

TEST_F(EventLoop, RevisionCheckStartsOnlyWithoutARunningDownload) {
    DownloadBusy = 77;
    StartRevisionCheck();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(revisionChecks, 0);
    DownloadBusy = 0;
    Press(10);  // "Check Now" of the configuration window
    WaitFor(revisionChecks, 1);
    EXPECT_EQ(revisionChecks, 1);
    EXPECT_NE(DownloadBusy, 0);
}

TEST_F(EventLoop, HelpWithoutItsFileSaysSo) {
    sim::FailShellOpen(true);
    DispatchEvent(plat::EventMenu, 0, MenuHelp, 0);
    ASSERT_EQ(sim::Messages().size(), 1u);
    EXPECT_EQ(sim::Messages()[0].title, "Error");
    EXPECT_EQ(sim::Messages()[0].text, "Not found help file: VelloranUtility.chm");
    EXPECT_EQ(sim::Messages()[0].flags, unsigned(plat::MbIconError));
}

TEST_F(EventLoop, ClickOnTheMakerLinkOpensTheHomePageOnlyWhenOverIt) {
    plat::Rect link = plat::GadgetScreenRect(MakerLink);
    DispatchEvent(plat::EventLeftClick, 0, 0, 0);  // cursor far away
    EXPECT_TRUE(sim::ShellOpened().empty());
    sim::SetCursor({link.x + 3, link.y + 3});
    DispatchEvent(plat::EventLeftClick, 0, 0, 0);
    EXPECT_EQ(sim::ShellOpened().size(), 1u);
    sim::SetCursor({link.x + link.w, link.y});  // just outside the right edge
    DispatchEvent(plat::EventLeftClick, 0, 0, 0);
    EXPECT_EQ(sim::ShellOpened().size(), 1u);
}

TEST_F(EventLoop, ChildWindowOkAndCloseBoxGiveTheMainWindowBack) {
    static int settingsWrites;
    settingsWrites = 0;
    Ops.writeSettings = [] { ++settingsWrites; };
    for (int window : {ConfigurationWindow, CalculatorWindow, DownloadCenterWindow}) {
        plat::OpenWindow(window, 0, 0, 100, 100, "child", 0, MainWindow);
        plat::DisableWindow(MainWindow, true);
        DispatchEvent(plat::EventCloseWindow, window, 0, 0);
        EXPECT_FALSE(plat::WindowExists(window));
        EXPECT_FALSE(plat::IsWindowDisabled(MainWindow));
    }
    EXPECT_EQ(settingsWrites, 1);
    plat::OpenWindow(ConfigurationWindow, 0, 0, 100, 100, "child", 0, MainWindow);
    plat::DisableWindow(MainWindow, true);
    Press(11);  // "OK"
    EXPECT_FALSE(plat::WindowExists(ConfigurationWindow));
    EXPECT_FALSE(plat::IsWindowDisabled(MainWindow));
    EXPECT_EQ(settingsWrites, 2);
}

// ---- Device-change debounce ------------------------------------------------------------------

// Serves events the way the loop does for `ms` of simulated time; the times of the refreshes.
std::vector<int64_t> RefreshTimes(int64_t start, int64_t ms) {
    std::vector<int64_t> times;
    for (int64_t left; (left = ms - (plat::TickCount() - start)) > 0;) {
        plat::Event e = plat::WaitEvent(int(std::min<int64_t>(left, 100)));
        if (e.type == plat::EventRefresh) times.push_back(plat::TickCount() - start);
        if (e.type != plat::EventNone) DispatchEvent(e.type, e.window, e.number, e.kind);
    }
    return times;
}

// A disk and then its volumes arrive over several hundred milliseconds: the list is rebuilt once,
// a second after the last of them; a device that never stops reporting holds it back five
// seconds at most; and a notification right after a refresh is not lost.
TEST_F(EventLoop, DeviceChangesRefreshASecondAfterTheLastOfABurst) {
    struct Case {
        const char* name;
        std::vector<int64_t> notifications;  // at these times from the start
        std::vector<int64_t> refreshes;
    } cases[] = {
        {"burst", {0, 150, 300, 450, 600, 750}, {1750}},
        {"endless", {0, 500, 1000, 1500, 2000, 2500, 3000, 3500, 4000, 4500, 5000, 5500}, {5000, 6500}},
        {"right after a refresh", {0, 1100}, {1000, 2100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        refreshes = 0;
        int64_t start = plat::TickCount();
        std::vector<int64_t> seen;
        for (int64_t at : c.notifications) {
            auto more = RefreshTimes(start, at);
            seen.insert(seen.end(), more.begin(), more.end());
            OnDeviceNodesChanged();
        }
        auto more = RefreshTimes(start, c.notifications.back() + 3000);
        seen.insert(seen.end(), more.begin(), more.end());
        EXPECT_EQ(seen, c.refreshes);
        EXPECT_EQ(refreshes, int(c.refreshes.size()));
        EXPECT_TRUE(sim::Timers().empty());
    }
}

TEST_F(EventLoop, NoRefreshIsArmedWhileAnOperationRuns) {
    OperationBusy = 1;
    OnDeviceNodesChanged();
    EXPECT_TRUE(sim::Timers().empty());
    for (int i = 0; i < 30; ++i) EXPECT_EQ(plat::WaitEvent(100).type, plat::EventNone);
}

TEST_F(EventLoop, ARefreshThatComesDueWhileAnOperationRunsIsDropped) {
    // The run rescans on its own thread: a rebuild on the loop's thread would race with it.
    OnDeviceNodesChanged();
    OperationBusy = 1;
    for (int i = 0; i < 30; ++i) {
        plat::Event e = plat::WaitEvent(100);
        if (e.type != plat::EventNone) DispatchEvent(e.type, e.window, e.number, e.kind);
    }
    EXPECT_EQ(refreshes, 0);
    EXPECT_TRUE(sim::Timers().empty());
}

// ---- Main window helpers ---------------------------------------------------------------------

TEST_F(EventLoop, CenterWindowIfOffscreenMovesOnlyWindowsBeyondTheDesktop) {
    sim::SetDesktop({0, 0, 1920, 1080});
    plat::Rect frame = plat::WindowFrame(MainWindow);
    plat::MoveWindow(MainWindow, 5000, 400);
    CenterWindowIfOffscreen(MainWindow);
    EXPECT_EQ(plat::WindowFrame(MainWindow).x, 1920 / 2 - frame.w / 2);
    EXPECT_EQ(plat::WindowFrame(MainWindow).y, 1080 / 2 - frame.h / 2);
    // Right edge exactly on the desktop's edge stays.
    plat::MoveWindow(MainWindow, 1920 - frame.w, 1080 - frame.h);
    CenterWindowIfOffscreen(MainWindow);
    EXPECT_EQ(plat::WindowFrame(MainWindow).x, 1920 - frame.w);
    plat::MoveWindow(MainWindow, 10, 1081 - frame.h);
    CenterWindowIfOffscreen(MainWindow);
    EXPECT_EQ(plat::WindowFrame(MainWindow).x, 1920 / 2 - frame.w / 2);
}

TEST_F(EventLoop, ComboDropWidthGrowsByAScrollBarPast30Items) {
    plat::OpenWindow(2, 0, 0, 300, 200, "dl", 0);
    plat::CreateGadget(2, 67, plat::GadgetKind::ComboBox, {0, 0, 100, 20}, "");
    for (int i = 0; i < 30; ++i) plat::AddGadgetItem(67, "item");
    FitComboDropWidth(2, 67, 0);
    int with30 = sim::Gadget(67)->dropWidth;
    EXPECT_EQ(with30, 6 * 4 + 2 * 2 + 3);
    plat::AddGadgetItem(67, "item");
    FitComboDropWidth(2, 67, 0);
    EXPECT_EQ(sim::Gadget(67)->dropWidth, with30 + 17);
    FitComboDropWidth(2, 67, 200);
    EXPECT_EQ(sim::Gadget(67)->dropWidth, 200 + 7 + 17);
}

TEST_F(EventLoop, LatestCloverMenuTitleShowsTheRevision) {
    EXPECT_EQ(LatestCloverMenuTitle("Check It!"), " Latest Clover: Check It!");
    EXPECT_EQ(LatestCloverMenuTitle("4200"), " Latest Clover: r4200");
}

}  // namespace
}  // namespace vu
