// Internal to the simulated PC: the reset hooks of its parts.
#pragma once

namespace vu::sim::detail {

void ResetClock();
void ResetGui();
void ResetSystem();
void ResetRegistry();
void ResetTaskbar();
void ResetForeign();
void ResetFiles();
void ResetTextLimits();
void ResetDisks();
void ResetVolumes();
void ResetFormatter();
void ResetVolumeSync();
void ResetInternet();

}  // namespace vu::sim::detail
