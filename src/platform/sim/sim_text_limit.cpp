// The simulated edit-field limits: recorded per gadget for tests to read back.
#include <map>
#include <mutex>

#include "platform/gui_text_limit.h"
#include "platform/sim/sim_state.h"
#include "platform/sim/sim_text_limit.h"

namespace vu {
namespace {

struct Limits {
    std::mutex lock;
    std::map<int, int> byGadget;
};

Limits& L() {
    static Limits limits;
    return limits;
}

}  // namespace

void plat::SetGadgetTextLimit(int gadget, int maxChars) {
    std::lock_guard<std::mutex> l(L().lock);
    L().byGadget[gadget] = maxChars;
}

int sim::GadgetTextLimit(int gadget) {
    std::lock_guard<std::mutex> l(L().lock);
    auto it = L().byGadget.find(gadget);
    return it == L().byGadget.end() ? 0 : it->second;
}

void sim::detail::ResetTextLimits() {
    std::lock_guard<std::mutex> l(L().lock);
    L().byGadget.clear();
}

}  // namespace vu
