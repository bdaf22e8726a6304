// Runs a host program for the simulated PC (mkfs.fat, mkfs.exfat, mkntfs, mtools, losetup); its
// exit code, or -1 when it could not be started. Its output is discarded, or collected into
// *output (standard output and error together) when given.
#pragma once
#include <string>
#include <vector>

namespace vu::sim::detail {

int RunHostTool(const std::vector<std::string>& argv, std::string* output = nullptr);

}  // namespace vu::sim::detail
