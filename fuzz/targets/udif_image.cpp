// The UDIF reader: the koly trailer, the property list (Expat), the blkx tables, and the decoding
// of every partition through the pipeline into a bounded sink, with all the chunk decoders.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/udif_decode.h"
#include "tools/udif_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vu::MemorySource source(data, size);
    vu::UdifImage image;
    std::string error;
    if (vu::ReadUdifImage(source, image, error) != vu::UdifOpen::Ok) return 0;
    for (const auto& partition : image.partitions) {
        vu::MemorySink sink(16 << 20);
        vu::DecodeUdifPartition(source, image, partition, sink, nullptr, error, 2);
    }
    return 0;
}
