// Resets every part of the simulated PC.
#include "platform/sim/sim.h"
#include "platform/sim/sim_state.h"

namespace vu::sim {

void Reset() {
    detail::ResetClock();
    detail::ResetGui();
    detail::ResetSystem();
    detail::ResetRegistry();
    detail::ResetTaskbar();
    detail::ResetForeign();
    detail::ResetFiles();
    detail::ResetTextLimits();
    detail::ResetDisks();
    detail::ResetVolumes();
    detail::ResetFormatter();
    detail::ResetVolumeSync();
    detail::ResetInternet();
}

}  // namespace vu::sim
