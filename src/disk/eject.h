// Safe removal of the drive selected in the drive list. Main thread.
#pragma once

namespace vu {

// Asks Windows to prepare the USB device of the selected drive's first letter for removal; true
// when the request was accepted. Shows nothing: every missing piece ends it with false.
bool EjectDrive();

}  // namespace vu
