// The INI reader, which reads the settings file and the download lists (one of them from the web).
// Whatever it reads, written again in the program's own layout, must read back the same: the
// program rewrites these files, and a value that changes on the way would change the settings.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/ini_file.h"
#include "fuzz_support.h"

namespace {

std::string Written(const vu::IniData& ini) {
    vu::IniWriter writer;
    for (const auto& section : ini.Sections()) {
        writer.Section(section.name);
        for (const auto& key : section.keys) writer.Key(key.name, key.value);
    }
    return writer.Bytes();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto ini = vu::IniData::Parse(std::string(reinterpret_cast<const char*>(data), size));
    for (const auto& section : ini.Sections())
        for (const auto& key : section.keys) (void)ini.Value(section.name, key.name);

    auto again = vu::IniData::Parse(Written(ini));
    if (again.Sections().size() != ini.Sections().size()) vu::fuzz::Fail("sections changed on a rewrite");
    for (size_t s = 0; s < ini.Sections().size(); ++s) {
        const auto &before = ini.Sections()[s], &after = again.Sections()[s];
        if (before.name != after.name || before.keys.size() != after.keys.size())
            vu::fuzz::Fail("section [" + before.name + "] changed on a rewrite");
        for (size_t k = 0; k < before.keys.size(); ++k)
            if (before.keys[k].name != after.keys[k].name || before.keys[k].value != after.keys[k].value)
                vu::fuzz::Fail("key " + before.keys[k].name + " changed on a rewrite");
    }
    return 0;
}
