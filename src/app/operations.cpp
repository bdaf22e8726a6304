// Fills the operations table with what the program's subsystems provide.
#include "app/operations.h"

namespace vu {

Operations Ops;

void RegisterOperations() {
    Ops = Operations{};
}

}  // namespace vu
