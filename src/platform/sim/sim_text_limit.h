// Control of the simulated edit-field limits, for tests.
#pragma once

namespace vu::sim {

// The limit set on a gadget by the program, 0 when none.
int GadgetTextLimit(int gadget);

}  // namespace vu::sim
