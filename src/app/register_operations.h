// The shell's one place that knows every subsystem: it fills the operations table at start-up.
#pragma once
#include "core/operations.h"

namespace vu {

// Called once by start-up: each subsystem that exists puts its entries into Ops.
void RegisterOperations();

}  // namespace vu
