// Start-up and shutdown, in their order; see program.h.
#include "app/program.h"

#include <cstdlib>

#include "app/autorun_policy.h"
#include "app/crash_report.h"
#include "app/event_loop.h"
#include "app/format_prompt_guard.h"
#include "app/main_window.h"
#include "app/register_operations.h"
#include "core/globals.h"
#include "core/settings.h"
#include "platform/gui.h"
#include "platform/system.h"

namespace vu {

namespace {

void ResetSharedFlags() {
    OperationBusy = 0;
    AbortRequested = 0;
    FormatFailed = 0;
    DownloadBusy = 0;
    DownloadAbortRequested = 0;
    QuitRequested = 0;
    QuitWhenStopped = 0;
}

}  // namespace

int ProgramMain() {
    InstallCrashHandler();
    RegisterOperations();
    return RunProgram();
}

int RunProgram() {
    ResetSharedFlags();
    SetSettingsStartValues();
    ReadProgramIdentity();

    switch (plat::CreateInstanceSemaphore(ProgramFileName)) {
        case plat::SemaphoreResult::AlreadyExists:
            plat::MessageBox(ProgramFileName, "Программа уже запущена.", plat::MbIconWarning);
            plat::CloseInstanceSemaphore();
            return 0;
        case plat::SemaphoreResult::Created:
        case plat::SemaphoreResult::Failed:
            break;
    }

    Call(Ops.readSettings);
    // Working folders that no running copy of the program holds any more.
    Call(Ops.removeStaleWorkFolders);
    if (Ops.loadUserDownloadList) Ops.loadUserDownloadList(1);
    SwitchAutoRunOff();
    Call(Ops.loadIcons);
    BuildMainWindow();
    CenterWindowIfOffscreen(MainWindow);
    Call(Ops.fillDriveList);
    Call(Ops.startRepositoryScan);
    if (CheckLatestCloverAtStartup == 1) {
        StartRevisionCheck();
    } else if (int revision = std::atoi(CloverLastRev.c_str()); revision > 0 && Ops.addOfferedRevision) {
        Ops.addOfferedRevision(revision);
    }
    InstallFormatPromptGuard();

    RunEventLoop();

    Call(Ops.removeStaleWorkFolders);
    RemoveFormatPromptGuard();
    Call(Ops.writeSettings);
    Call(Ops.writeExampleUserDownloadList);
    RestoreAutoRunPolicy();
    return 0;
}

}  // namespace vu
