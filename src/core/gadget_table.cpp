// Gadgets from a table; see gadget_table.h.
#include "core/gadget_table.h"

namespace vu {

void CreateGadgets(int window, std::span<const GadgetSpec> gadgets) {
    for (const GadgetSpec& spec : gadgets) {
        plat::CreateGadget(window, spec.number, spec.kind, spec.rect, spec.caption, spec.flags);
        if (spec.toolTip && *spec.toolTip) plat::SetGadgetToolTip(spec.number, spec.toolTip);
    }
}

}  // namespace vu
