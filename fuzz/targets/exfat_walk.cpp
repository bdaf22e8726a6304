// The exFAT directory walker of the simulated PC, which reads the file systems the formatter and
// the FUSE driver wrote and sets the hidden attribute in them. The input is a volume image in the
// sector form of fuzz_support.h. Whatever the walker lists, it must be able to hide, and a hidden
// entry must list as hidden afterwards.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "platform/sim/sim_exfat_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vu::sim::detail;
    static vu::fuzz::MemoryFile volume("exfat.img");
    if (!vu::fuzz::LoadSectorImage(volume, data, size)) return 0;
    std::vector<ExFatEntry> entries;
    std::string error;
    if (!ListExFat(volume.Path(), 0, entries, &error)) return 0;

    // Two entries under one path (a damaged folder) cannot be told apart by their paths.
    std::set<std::string> paths, hide;
    for (const auto& entry : entries)
        if (!paths.insert(entry.path).second) return 0;
    for (const auto& entry : entries)
        if (hide.size() < 3) hide.insert(entry.path);
    if (!HideInExFat(volume.Path(), 0, hide, &error)) vu::fuzz::Fail("listed but could not hide: " + error);
    std::vector<ExFatEntry> after;
    if (!ListExFat(volume.Path(), 0, after, &error)) vu::fuzz::Fail("unreadable after hiding: " + error);
    for (const auto& entry : after)
        if (hide.count(entry.path) && !(entry.attributes & ExFatHidden))
            vu::fuzz::Fail("not hidden: " + entry.path);
    return 0;
}
