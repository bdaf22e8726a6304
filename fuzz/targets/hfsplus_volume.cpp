// The HFS+ reader: volume header, the catalog, extents and attributes B-trees walked along their
// leaf chains, and the content of every file (compressed ones expanded) into a bounded sink.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/hfsplus_volume.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vu::MemorySource source(data, size);
    vu::HfsVolume volume(source);
    std::string error;
    std::vector<vu::HfsFile> files;
    if (!volume.Open(error) || !volume.ListFiles(files, error)) return 0;
    for (size_t i = 0; i < files.size() && i < 64; ++i) {
        vu::MemorySink sink(16 << 20);
        volume.CopyContent(files[i], sink, nullptr, error);
    }
    std::string content;
    volume.ReadSmallFile("/Folder/compressed", 1 << 20, content, error);
    return 0;
}
