// The limit of an edit field: EM_LIMITTEXT on its control (see gui_text_limit.h).
#include "platform/gui_text_limit.h"

#include "platform/win32/gui_state.h"

namespace vu::plat {

void SetGadgetTextLimit(int gadget, int maxChars) {
    gui::ApplyToGadget(gadget, [=](gui::GadgetModel& g) {
        if (g.kind == GadgetKind::String) SendMessageW(g.hwnd, EM_LIMITTEXT, WPARAM(maxChars), 0);
    });
}

}  // namespace vu::plat
