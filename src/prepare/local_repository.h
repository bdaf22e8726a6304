// The local repository of bootloader data sets: the "CloverISO-<revision>.zip" archives in the
// folder CloverLocalRepository, each with the revision read from its "boot" entry, and the
// archive chosen for installation.
//
// Scans run on worker threads (start-up, a new repository folder) and on the main thread (the
// Configuration window); the list and the choice are kept under one lock, so readers on any
// thread get a consistent copy.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vu {

struct FoundDataSet {
    std::string name;  // the archive's file name, without folder
    int32_t revision = 0;
    bool operator==(const FoundDataSet&) const = default;
};

// The revision that the archive's root entry "boot" names after "Clover revision: ", 0 when the
// archive cannot be read, has no such entry or no marker, or FormatFailed is set. The entry is
// read into memory, so concurrent scans never share a file.
int32_t ReadDataSetRevision(const std::string& archivePath);

// Rebuilds FoundDataSets from the archives of CloverLocalRepository, highest revision first, and
// makes the first one the choice. False (the choice unchanged) when none was found.
bool ScanLocalRepository();

// Copies of the shared state.
std::vector<FoundDataSet> FoundDataSets();
std::string LocalDataSetPath();      // CloverLocalRepository + the chosen name; "" before a find
std::string LocalDataSetRevision();  // the chosen revision in decimal
// The choice when it was found in the current CloverLocalRepository; "" when that folder holds
// none (a choice kept from an earlier folder is not this repository's data set).
std::string RepositoryDataSetPath();

// Makes the data set `name` of the last scan the choice; false (nothing changed) when it is not
// in the list. `revision` receives its revision.
bool ChooseFoundDataSet(const std::string& name, int32_t& revision);

// Sets CloverLocalRepository while no scan copies it.
void SetCloverLocalRepository(const std::string& folder);

// The start-up scan, on a worker thread of its own. It counts for WaitForRepositoryScans from
// before its thread starts: a format run started at once waits for it instead of finding nothing.
void StartRepositoryScan();

// Waits until no scan is running (a format run needs the final choice; tests need the result).
void WaitForRepositoryScans();

// Counts a running scan for WaitForRepositoryScans; taken before a scan thread is started.
class RepositoryScanTicket {
public:
    RepositoryScanTicket();
    ~RepositoryScanTicket();
    RepositoryScanTicket(const RepositoryScanTicket&) = delete;
    RepositoryScanTicket& operator=(const RepositoryScanTicket&) = delete;
};

}  // namespace vu
