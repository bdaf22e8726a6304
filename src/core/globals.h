// Process-wide state of the program: the flags shared between the main loop and the worker
// threads, and what start-up learns about the program and the system.
//
// The shared flags are written by one side and polled by the other; atomics keep that free
// of data races. Everything else is written during start-up on the main thread and only read later.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

namespace vu {

extern std::atomic<int32_t> OperationBusy;   // a long operation runs on a worker thread
// The user asked to cancel the running operation. Cleared on the main thread when an operation
// is started, so that a press before its thread runs is not lost.
extern std::atomic<int32_t> AbortRequested;
extern std::atomic<int32_t> FormatFailed;    // stop flag of the format pipeline
extern std::atomic<intptr_t> DownloadBusy;   // the running download thread, 0 when none
// The cancel of a download job that holds the download slot on its own (the revision check, a
// list update), which no other job's cancel may stop. Cleared on the main thread when such a job
// is started; set when the user quits while it runs.
extern std::atomic<int32_t> DownloadAbortRequested;
extern std::atomic<int32_t> QuitRequested;   // the loop ends after the current event
// The user chose to quit while an operation ran: the loop ends once it has stopped.
extern std::atomic<int32_t> QuitWhenStopped;

extern std::string ProgramPath;      // full path of the executable
extern std::string ProgramFileName;  // its file part, with extension
extern std::string ProgramBaseName;  // the file part without its extension
extern std::string ProgramFolder;    // its folder, ending with "\"
extern std::string SystemFolder;     // the Windows system directory, "" when unreadable
extern std::string SystemDriveLetter;  // first character of SystemFolder, "" when unknown

extern const std::string VersionText;  // "v2.1.022 Beta"
extern const std::string AboutText;

// Registry paths the program works with.
extern const std::string ExplorerPoliciesKey;
extern const std::string AppleHfsServiceKey;
extern const std::string AppleMntServiceKey;

// Derives ProgramPath, ProgramFileName, ProgramBaseName and ProgramFolder from the executable's
// path, and SystemFolder and SystemDriveLetter from the system directory.
void ReadProgramIdentity();

}  // namespace vu
