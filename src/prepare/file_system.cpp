// File-system creation; see file_system.h.
#include "prepare/file_system.h"

#include <atomic>
#include <cstring>

#include "core/globals.h"
#include "core/status_bar.h"
#include "disk/inventory.h"
#include "disk/raw_access.h"
#include "platform/clock.h"
#include "platform/device_layouts.h"
#include "platform/formatter.h"

namespace vu {

namespace {

std::atomic<bool> VolumeTooBig{false};
std::atomic<bool> VolumeInUse{false};
std::atomic<bool> Finished{false};  // the final report came, with success

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
        case 8:
            VolumeInUse = true;
            Fail("Volume is in use");
            break;
        case 9: Fail("Cannot quick format this volume"); break;
        case 11:
            // The argument of the final report is a byte-sized success flag.
            if (argument && *static_cast<unsigned char*>(argument)) {
                Finished = true;
                Say("Creating file system completed");
            } else {
                Fail("Error while formatting");
            }
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
    uint32_t media = SelectedDisk.Geometry.MediaType == MediaTypeRemovable ? plat::FormatMediaRemovable
                                                                           : plat::FormatMediaFixed;
    for (int attempt = 1;; ++attempt) {
        VolumeTooBig = VolumeInUse = Finished = false;
        switch (plat::RunFormatter(volumeName, media, fileSystemName, label, quickFormat != 0, uint32_t(clusterSize),
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
        // Explorer or a virus scanner looking at the fresh volume: a dismount closes their handles.
        // A cancel pressed meanwhile still counts.
        if (!VolumeInUse || AbortRequested || attempt == VolumeLockAttempts) break;
        plat::Sleep(VolumeLockRetryMs);
        plat::DeviceHandle volume = OpenDisk(0, volumeName, false, false);
        if (volume != plat::NoDevice) DismountVolume(volume);
        plat::CloseDevice(volume);
        FormatFailed = 0;
    }
    if (FormatFailed) return 0;
    // A formatter that returns without its final report has not finished the file system.
    if (!Finished) {
        Fail("Error : The formatter stopped before it finished!");
        return 0;
    }
    return 1;
}

bool FormatterFoundVolumeTooBig() { return VolumeTooBig; }

}  // namespace vu
