// Internal to the simulated PC: the calling thread's last error code, which the simulated PC's
// failing calls set as Windows' do, and the codes it reports.
#pragma once
#include <cstdint>

namespace vu::sim::detail {

constexpr uint32_t ErrorFileNotFound = 2;  // opening a device that is not there
constexpr uint32_t ErrorAccessDenied = 5;
constexpr uint32_t ErrorWriteProtect = 19;
constexpr uint32_t ErrorCrc = 23;  // what a USB stick reports for a sector it cannot read
constexpr uint32_t ErrorWriteFault = 29;
constexpr uint32_t ErrorReadFault = 30;
constexpr uint32_t ErrorInvalidParameter = 87;  // a raw transfer that is not in whole sectors
constexpr uint32_t ErrorDiskFull = 112;
constexpr uint32_t ErrorIoDevice = 1117;
constexpr uint32_t ErrorDeviceNotConnected = 1167;  // a request on a handle of a pulled stick

void SetLastErrorCode(uint32_t code);

}  // namespace vu::sim::detail
