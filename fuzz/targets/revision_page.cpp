// The scan of the bootloader project's file-listing page for its archives' revisions.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "net/revision_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto revisions = vu::FindRevisions(std::string_view(reinterpret_cast<const char*>(data), size));
    for (size_t i = 0; i < revisions.size(); i++)
        if (revisions[i] <= 0 || (i > 0 && revisions[i - 1] <= revisions[i])) __builtin_trap();
    return 0;
}
