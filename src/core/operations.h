// The operations that the main loop starts or calls, as a table that each subsystem fills in
// when the shell registers it at start-up. An entry that is still empty makes its button or menu
// item do nothing, so the loop's tables stay complete while subsystems come and go.
// Filled on the main thread before the loop runs and not changed after: any thread may read it.
#pragma once
#include <string>

namespace vu {

struct Operations {
    // Worker threads, started with their one integer argument.
    void (*formatDrive)(int installDataSet) = nullptr;
    void (*backupPartition)(int arg) = nullptr;
    void (*restorePartition)(int arg) = nullptr;
    void (*checkLatestRevision)(int arg) = nullptr;
    void (*updateRecoveryCatalog)(int arg) = nullptr;
    void (*updateDownloadLists)(int arg) = nullptr;
    void (*downloadRecoveryHd)(int entry) = nullptr;
    void (*downloadAdditional)(int entry) = nullptr;
    void (*extractHfsFromDmg)(int arg) = nullptr;
    // The "DL" source of the data-set installation, on the format pipeline's thread: the revision
    // check when needed, the download and its conversion, extracted onto the volume ("E:").
    bool (*installDownloadedDataSet)(const std::string& volume) = nullptr;

    // Main-thread calls.
    void (*readSettings)() = nullptr;
    void (*writeSettings)() = nullptr;
    void (*loadUserDownloadList)(int arg) = nullptr;
    void (*writeExampleUserDownloadList)() = nullptr;
    void (*fillDriveList)() = nullptr;
    void (*startRepositoryScan)() = nullptr;  // the scan of the local repository, on a worker
    bool (*ejectSelectedDrive)() = nullptr;
    void (*deleteWorkFolder)() = nullptr;
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
    bool (*calculatorGadget)(int gadget, int kind) = nullptr;
};

extern Operations Ops;

// Calls an entry of the table on this thread; an empty entry does nothing.
inline void Call(void (*operation)()) {
    if (operation) operation();
}

// Starts `operation(argument)` on a worker thread of its own; nothing if `operation` is null.
void StartWorker(void (*operation)(int), int argument);

}  // namespace vu
