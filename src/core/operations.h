// The operations that the main loop starts or calls, as a table that each subsystem fills in
// when the shell registers it at start-up. An entry that is still empty makes its button or menu
// item do nothing, so the loop's tables stay complete while subsystems come and go.
// Filled on the main thread before the loop runs and not changed after: any thread may read it.
#pragma once
#include <string>

#include "core/settings.h"

namespace vu {

// A job's procedure: its one integer argument and the settings it works from, copied on the main
// thread when it was started (StartJob).
using Job = void (*)(int argument, const SettingsRecord& settings);

struct Operations {
    // Jobs, each started on a worker thread of its own.
    Job formatDrive = nullptr;  // the argument is installDataSet
    Job backupPartition = nullptr;
    Job restorePartition = nullptr;
    Job updateRecoveryCatalog = nullptr;
    Job updateDownloadLists = nullptr;
    Job downloadRecoveryHd = nullptr;  // the entry chosen in the Download Center
    Job downloadAdditional = nullptr;
    Job extractHfsFromDmg = nullptr;
    void (*checkLatestRevision)(int clearBusy) = nullptr;
    // The "DL" source of the data-set installation, on the format pipeline's thread, which holds
    // the download slot: the revision check when needed, the download and its conversion,
    // extracted onto the volume ("E:").
    bool (*installDownloadedDataSet)(const SettingsRecord& settings, const std::string& volume) = nullptr;

    // Main-thread calls.
    void (*readSettings)() = nullptr;
    void (*writeSettings)() = nullptr;
    void (*loadUserDownloadList)(int arg) = nullptr;
    void (*writeExampleUserDownloadList)() = nullptr;
    void (*fillDriveList)() = nullptr;
    void (*startRepositoryScan)() = nullptr;  // the scan of the local repository, on a worker
    bool (*ejectSelectedDrive)() = nullptr;
    void (*removeStaleWorkFolders)() = nullptr;
    void (*loadIcons)() = nullptr;
    void (*checkHfsDrivers)() = nullptr;         // enables or disables menu items 3 and 4
    void (*installHfsDrivers)() = nullptr;
    void (*uninstallHfsDrivers)() = nullptr;
    void (*addOfferedRevision)(int revision) = nullptr;  // the list of revisions to download
    void (*statusBarClick)() = nullptr;          // cancels an operation that offers it there

    void (*openConfigurationWindow)() = nullptr;
    void (*openDownloadCenter)() = nullptr;
    void (*openCalculator)() = nullptr;
    void (*openAboutWindow)() = nullptr;
    // Gadget events of the child windows, by gadget number; return true when handled.
    bool (*configurationGadget)(int gadget, int kind) = nullptr;
    bool (*downloadCenterGadget)(int gadget, int kind) = nullptr;
    // A list update replaced the list of the Download Center's combo box `combo`.
    void (*downloadListReplaced)(int combo) = nullptr;
    bool (*calculatorGadget)(int gadget, int kind) = nullptr;
};

extern Operations Ops;

// Calls an entry of the table on this thread; an empty entry does nothing.
inline void Call(void (*operation)()) {
    if (operation) operation();
}

// Copies the settings (on the calling thread: the main thread) and starts job(argument, copy) on
// a worker thread of its own; false (nothing started) when `job` is null or no thread could start.
bool StartJob(Job job, int argument);

}  // namespace vu
