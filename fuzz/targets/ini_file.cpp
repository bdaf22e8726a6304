// The INI reader, which reads the settings file and the download lists (one of them from the web).
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto ini = vu::IniData::Parse(std::string(reinterpret_cast<const char*>(data), size));
    for (const auto& section : ini.Sections())
        for (const auto& key : section.keys) (void)ini.Value(section.name, key.name);
    return 0;
}
