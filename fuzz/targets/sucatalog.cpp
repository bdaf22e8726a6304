// The walk of a software-update catalog and the list made from what it finds.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "net/download_lists.h"
#include "net/recovery_catalog.h"
#include "net/xml_tree.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vu::XmlDocument document = vu::ParseXml(std::string_view(reinterpret_cast<const char*>(data), size));
    if (document.outcome != vu::XmlDocument::Parsed) {
        vu::XmlErrorText(document.error);
        return 0;
    }
    std::vector<vu::RecoveryEntry> list;
    vu::CollectRecoveryPackages(document.root, "RecoveryHD", list);
    for (size_t i = 0; i < list.size(); i++) {
        if (list[i].Url.find("RecoveryHD") == std::string::npos) __builtin_trap();
        for (size_t j = 0; j < i; j++)
            if (list[j].Digest == list[i].Digest) __builtin_trap();
    }
    auto finished = vu::FinishedRecoveryEntries(list, vu::BuiltInRecoveryEntries());
    if (finished.size() < vu::BuiltInRecoveryEntries().size()) __builtin_trap();
    for (size_t i = 1; i < finished.size(); i++)
        if (finished[i].Title < finished[i - 1].Title || finished[i].Title.empty()) __builtin_trap();
    return 0;
}
