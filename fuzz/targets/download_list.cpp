// The reading of a download list, and the folders and file names its items would be saved under:
// none may leave the repository.
#include <cstddef>
#include <cstdint>
#include <string>

#include "net/additional_download.h"
#include "net/download_center.h"
#include "net/download_lists.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    for (const vu::AdditionalEntry& entry : vu::ParseDownloadList(text, 0)) {
        vu::AdditionalLine(entry);
        std::string folder;
        if (vu::CatalogFolder(entry.Catalog, folder)) {
            if (!folder.empty() && (folder[0] == '\\' || folder.find_first_of(":/") != std::string::npos))
                __builtin_trap();
            for (size_t at = 0; at < folder.size();) {
                size_t end = folder.find('\\', at);
                if (end == at || folder.find_first_not_of('.', at) >= end) __builtin_trap();  // "", ".", ".."
                at = end + 1;
            }
        }
        std::string name = vu::UrlFileName(entry.Url);
        if (vu::IsStorableName(name) && (name.find_first_of("\\/:") != std::string::npos || name == ".."))
            __builtin_trap();
    }
    return 0;
}
