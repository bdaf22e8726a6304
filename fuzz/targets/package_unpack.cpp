// The packed package format (size, CRC-32, LZMA properties, raw LZMA stream) that the program
// unpacks into its working folder. A package that unpacks must give exactly the size it claims.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "platform/files.h"
#include "platform/sim/sim_state.h"
#include "prepare/package_unpack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vu::fuzz::StartSimulatedPc();
    // Message boxes are recorded; a long run must not gather them.
    vu::sim::detail::ResetGui();
    vu::WorkFolder folder;  // deleted with the unpacked file when the input is done
    std::string file = vu::UnpackInternalMemoryToTempFile(data, size, folder);
    if (file.empty()) return 0;
    if (size < 4 || vu::plat::FileSize(file) != int64_t(vu::fuzz::Le32(data)))
        vu::fuzz::Fail("an unpacked package is not the size its header gives");
    return 0;
}
