// Source lines of code addresses, read from the DWARF line tables (.debug_line, versions 2 to 5)
// that the compiler leaves in the executable. The crash report uses it to name the file and line
// of a fault without the program keeping any record while it runs. Pure functions over bytes:
// any thread, and safe on malformed input (a table that does not parse yields no position).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace vu {

struct DebugLineSections {
    std::string_view line;     // .debug_line
    std::string_view lineStr;  // .debug_line_str (file and folder names of version 5 tables)
    std::string_view str;      // .debug_str
};

struct SourceLine {
    std::string file;  // the path as the table records it, joined to its folder; "" when unknown
    int line = -1;     // -1 when the address is not covered by any table
};

// The line of the instruction at `address`, an address as the tables record it (the link-time
// address, not the one the code runs at). Rows that the compiler marks with line 0 (code that
// belongs to no line) count as not covered.
SourceLine FindSourceLine(const DebugLineSections& sections, uint64_t address);

}  // namespace vu
