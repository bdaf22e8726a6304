// Safe removal of the drive selected in the drive list. Main thread.
#pragma once

namespace vu {

// Asks Windows to prepare the USB device of the selected drive's first letter for removal; true
// when the request was accepted. A missing piece (letter, device, library) ends it with false and
// shows nothing; a request Windows keeps refusing ends with a box that says why.
bool EjectDrive();

}  // namespace vu
