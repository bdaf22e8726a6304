// The settings file beside the executable (its base name + ".ini"): read once at start-up,
// written anew at shutdown, when the Configuration window closes and after a Recovery HD list
// update (whose worker asks the loop for it). Main thread only: the Configuration window changes
// the settings variables there. One table of the file's lines drives both reading and writing.
#pragma once
#include <cstdint>
#include <string>

namespace vu {

std::string SettingsFilePath();

// Reads the file into the settings variables and the Recovery HD list, replacing every missing
// or disallowed value by its default. A missing or unreadable file gives the defaults.
void ReadSettings();
// Writes the whole file anew from the variables; a file that cannot be created is left alone.
void WriteSettings();

// A mask text read as the settings file keeps it: eight upper-case hexadecimal digits from the
// last eight characters of `text`.
std::string NormalizeFixDsdtMask(const std::string& text);
// A check date "dd.mm.yy hh:ii" parsed and formatted again; "00.00.00 00:00" when it is no date.
std::string NormalizeCheckDate(const std::string& text);

}  // namespace vu
