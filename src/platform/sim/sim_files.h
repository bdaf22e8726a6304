// Control of the simulated PC's file system, for tests: each drive letter is a host folder.
// Reset() gives every letter a fresh folder under a temporary root of the test process.
#pragma once
#include <cstdint>
#include <string>

namespace vu::sim {

void SetDriveRoot(char letter, const std::string& hostFolder);
std::string DriveRoot(char letter);
// A full drive: a whole-file write there creates or truncates its file and writes nothing.
void SetDriveFull(char letter, bool full);
// What FreeDiskSpace tells for the drive until the next Reset (otherwise its host folder's room).
void SetFreeDiskSpace(char letter, uint64_t bytes);
// The host path of a Windows path ("C:\a\b" -> "<root of C>/a/b"); a path without a drive letter
// is relative to the simulated current folder, the root of C.
std::string HostPath(const std::string& windowsPath);

}  // namespace vu::sim
