// The operations table; see operations.h.
#include "core/operations.h"

#include <thread>

namespace vu {

Operations Ops;

void StartWorker(void (*operation)(int), int argument) {
    if (operation) std::thread(operation, argument).detach();
}

}  // namespace vu
