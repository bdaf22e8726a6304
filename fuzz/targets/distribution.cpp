// The walks of a package's metadata and its distribution file, and the title made from them.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/recovery_catalog.h"
#include "net/xml_tree.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    vu::XmlDocument document = vu::ParseXml(text);
    vu::RecoveryEntry entry;
    entry.Url = std::string(text.substr(0, 200));
    entry.Size = std::string(text.substr(0, 20));
    if (document.outcome == vu::XmlDocument::Parsed) {
        if (auto build = vu::BuildFromIdentifier(document.root)) entry.Build = *build;
        if (entry.Build.empty()) vu::ReadDistributionBuild(document.root, entry);
    }
    vu::ParsePostDate(std::string(text.substr(0, 20)), entry.PostDateValue, entry.PostDate);
    vu::RecoveryTitle(entry);
    vu::DistributionUrl(entry.Url);
    vu::PackageMetadataUrl(entry.Url);
    return 0;
}
