// Control of the simulated volume manager and formatter, for tests.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace vu::sim {

// ---- Volume manager ----------------------------------------------------------------------
// Volume names are "\\?\Volume{<disk>-<partition>}\"; a letter's mount point can be deleted and set
// again; a raw DOS device definition gives a temporary letter for "\device\harddiskN\partitionP".
void FailSetupApi(bool fail);
// The next `count` eject requests for the disk's device are vetoed, for the reason given (a
// PNP_VETO_TYPE and a name: 5 and a device path for files still open on it).
void VetoEjects(int diskNumber, int count, uint32_t vetoType = 5, const std::string& vetoName = "");
// Vetoes shown in the system's own box, because the request passed no buffer for the reason.
int SystemVetoBoxes();
// Every accepted eject, as "eject disk N" or, for a disk not on USB, "eject controller of bus B".
std::vector<std::string> EjectLog();

// ---- Formatter ---------------------------------------------------------------------------
enum class FormatterAvailability { Present, NoLibrary, NoEntryPoint };
void SetFormatterAvailability(FormatterAvailability availability);
// Instead of creating a file system, the next format reports these (command, 32-bit argument)
// pairs to the callback, in order, stopping when the callback returns 0.
void ScriptFormatterReports(std::vector<std::pair<uint32_t, uint32_t>> reports);
// Called before each report of a real format (command, argument): a test can cancel from here.
void OnFormatterReport(std::function<void(uint32_t command, uint32_t argument)> listener);
// "format E: FAT32 label CLOVER quick 1 cluster 0" for every call.
std::vector<std::string> FormatterCalls();

}  // namespace vu::sim
