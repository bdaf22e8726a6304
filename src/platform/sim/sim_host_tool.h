// Runs a host program for the simulated PC (mkfs.fat, mkfs.exfat, mkntfs, mtools, losetup); its
// exit code, or -1 when it could not be started. Its output is discarded, or collected into
// *output (standard output and error together) when given.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vu::sim::detail {

int RunHostTool(const std::vector<std::string>& argv, std::string* output = nullptr);

// Attaches `length` bytes of `image` from byte `offset` to a free loop device (root only) of the
// given logical sector size: the device's path, or "" with losetup's answer in *error. Tools that
// want a block device work on the partition in place through it.
std::string AttachLoopDevice(const std::string& image, int64_t offset, int64_t length, std::string* error,
                             uint32_t sectorBytes = 512);
bool DetachLoopDevice(const std::string& device);

}  // namespace vu::sim::detail
