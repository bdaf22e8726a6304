// The seam's limit on what the user can type into a one-line edit field (String gadget).
// Main thread, after the gadget was created.
#pragma once

namespace vu::plat {

// At most maxChars characters can be typed into the field; 0 lifts the limit.
void SetGadgetTextLimit(int gadget, int maxChars);

}  // namespace vu::plat
