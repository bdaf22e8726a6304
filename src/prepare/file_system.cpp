// File-system creation; see file_system.h.
#include "prepare/file_system.h"

#include <atomic>
#include <cstring>

#include "core/globals.h"
#include "core/status_bar.h"
#include "platform/formatter.h"

namespace vu {

namespace {

std::atomic<bool> VolumeTooBig{false};

void Say(const std::string& text) { DrawProgressBar(StatusBarGadget, text, 0); }

void Fail(const char* text) {
    if (text) Say(text);
    FormatFailed = 1;
}

uint32_t Argument32(void* argument) {
    uint32_t value = 0;
    if (argument) std::memcpy(&value, argument, sizeof value);
    return value;
}

}  // namespace

int32_t FormatProgress(uint32_t command, uint32_t subAction, void* argument) {
    if (FormatFailed) return 0;
    switch (command) {
        case 0: Say("Formatting: " + std::to_string(Argument32(argument)) + " %"); break;
        case 1: case 14: case 17: break;
        case 3: Fail("Incompatible File System"); break;
        case 6: Fail("Access denied"); break;
        case 7: Fail("Media is write protected"); break;
        case 8: Fail("Volume is in use"); break;
        case 9: Fail("Cannot quick format this volume"); break;
        case 11:
            // The argument of the final report is a byte-sized success flag.
            if (argument && *static_cast<unsigned char*>(argument)) Say("Creating file system completed");
            else Fail("Error while formatting");
            break;
        case 12: Fail("Bad label"); break;
        case 15: Say("Creating file system"); break;
        case 16: Fail("Unsupported cluster size"); break;
        // A small volume is only a warning: the final report decides.
        case 18: Say("Volume is too small"); break;
        case 19:
            VolumeTooBig = true;
            Fail("Volume is too big");
            break;
        case 20: Fail("No media in drive"); break;
        default: Fail(nullptr); break;
    }
    return FormatFailed ? 0 : 1;
}

int32_t FormatVolume(const std::string& volumeName, const std::string& fileSystemName, const std::string& label,
                     int32_t quickFormat, int32_t clusterSize) {
    VolumeTooBig = false;
    switch (plat::RunFormatter(volumeName, fileSystemName, label, quickFormat != 0, uint32_t(clusterSize),
                               FormatProgress)) {
        case plat::FormatterRun::NoLibrary:
            ShowStatus("Error OpenLibrary fmifs.dll", StatusPauseMs);
            return 0;
        case plat::FormatterRun::NoEntryPoint:
            // Calling through a missing entry point would crash; the run fails with its reason instead.
            ShowStatus("Error GetFunction FormatEx in fmifs.dll", StatusPauseMs);
            return 0;
        case plat::FormatterRun::Ran:
            break;
    }
    return FormatFailed ? 0 : 1;
}

bool FormatterFoundVolumeTooBig() { return VolumeTooBig; }

}  // namespace vu
