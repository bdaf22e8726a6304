// Windows built from a table of their gadgets: number, kind, place, caption, tool tip and flags,
// created in the table's order (which is also the tab order, and groups adjacent options).
#pragma once
#include <span>

#include "platform/gui.h"

namespace vu {

struct GadgetSpec {
    int number;
    plat::GadgetKind kind;
    plat::Rect rect;
    const char* caption;
    const char* toolTip = "";  // "" or null: none
    unsigned flags = 0;
};

void CreateGadgets(int window, std::span<const GadgetSpec> gadgets);

}  // namespace vu
