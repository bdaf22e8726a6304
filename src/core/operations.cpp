// The operations table; see operations.h.
#include "core/operations.h"

#include <system_error>
#include <thread>

namespace vu {

Operations Ops;

bool StartJob(Job job, int argument) {
    if (!job) return false;
    try {
        std::thread(job, argument, CopySettings()).detach();
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

}  // namespace vu
