// The seam's file-system formatter: "FormatEx" of "fmifs.dll", loaded for each call. Runs on the
// drive-preparation worker; the callback is called on that thread while the formatter works.
#pragma once
#include <cstdint>
#include <string>

namespace vu::plat {

// command, sub-action, argument as the formatter passes them; non-zero lets it go on.
using FormatCallback = int32_t (*)(uint32_t command, uint32_t subAction, void* argument);

enum class FormatterRun { Ran, NoLibrary, NoEntryPoint };

// The formatter's media types, the values of the geometry's MEDIA_TYPE.
constexpr uint32_t FormatMediaRemovable = 11;
constexpr uint32_t FormatMediaFixed = 12;

// FormatEx(volume, mediaType, fileSystem, label, quick, clusterSize, callback); returns when
// formatting has ended.
FormatterRun RunFormatter(const std::string& volume, uint32_t mediaType, const std::string& fileSystem,
                          const std::string& label, bool quick, uint32_t clusterSize, FormatCallback callback);

}  // namespace vu::plat
