// Runs a host program for the simulated PC (mkfs.fat, mkfs.exfat, mkntfs, mtools) with its
// output discarded; its exit code, or -1 when it could not be started.
#pragma once
#include <string>
#include <vector>

namespace vu::sim::detail {

int RunHostTool(const std::vector<std::string>& argv);

}  // namespace vu::sim::detail
