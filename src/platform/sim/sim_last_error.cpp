// The calling thread's last error code on the simulated PC; see sim_last_error.h.
#include "platform/sim/sim_last_error.h"

#include "platform/disk_device.h"
#include "platform/transfer_io.h"

namespace vu {
namespace {
thread_local uint32_t lastError = 0;
}

void sim::detail::SetLastErrorCode(uint32_t code) { lastError = code; }

uint32_t plat::LastErrorCode() { return lastError; }
uint32_t plat::LastDeviceError() { return lastError; }

}  // namespace vu
