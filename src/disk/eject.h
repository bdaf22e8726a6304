// Safe removal of the drive selected in the drive list. Main thread.
#pragma once

namespace vu {

// Asks Windows to prepare the USB device of the selected drive's first letter for removal; true
// when the request was accepted. A missing piece (letter, device, library) ends it with false and
// shows nothing; a disk that is neither on USB nor removable, whose parent device is its storage
// controller, is refused with a box, and so is a request Windows keeps refusing, saying why.
bool EjectDrive();

}  // namespace vu
