// Helpers of the fuzz targets that read the simulated PC's disks: the main window that the drive
// list lives in, and one pass over everything the program reads from disks.
#pragma once
#include <string>

#include "app/main_window.h"
#include "core/settings.h"
#include "disk/drive_list.h"
#include "fuzz_support.h"
#include "platform/disk_device.h"
#include "platform/gui.h"
#include "platform/sim/sim_disks.h"

namespace vu::fuzz {

// The simulated PC with the main window built (the drive list is one of its gadgets).
inline void StartPcWithMainWindow() {
    static bool started = [] {
        StartSimulatedPc();
        SetSettingsStartValues();
        EnableFixedDisks = 1;  // every disk is listed, whatever its bus
        BuildMainWindow();
        return true;
    }();
    (void)started;
}

// What the program reads from the disks of the PC: the inventory and the drive list, each line
// selected in turn, and the first sectors read through every drive letter. No handle may stay open.
inline void ReadEveryDisk() {
    FillDriveList();
    int lines = plat::CountGadgetItems(DriveListGadget);
    for (int line = 0; line < lines; ++line) {
        plat::SetGadgetState(DriveListGadget, line);
        GetSelectedDrive();
    }
    std::string roots;
    plat::LogicalDriveStrings(roots);
    for (size_t at = 0; at + 1 < roots.size(); at += 4) {
        plat::DeviceHandle volume = plat::OpenDevice("\\\\.\\" + roots.substr(at, 2), false);
        if (volume == plat::NoDevice) continue;
        char sectors[4096];
        plat::ReadDevice(volume, sectors, sizeof sectors);
        plat::CloseDevice(volume);
    }
    if (sim::OpenDeviceCount() != 0) Fail("a device handle stayed open");
    // The simulated PC records what was done; a long run must not gather it.
    sim::ClearDeviceLog();
    sim::ClearTaskbarCalls();
}

}  // namespace vu::fuzz
