// UTF-16 names as file systems store them (exFAT directory entries, HFS+ catalog keys), turned
// into the UTF-8 the program works in. Pure; any thread.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vu {

// Appends one code point.
void AppendUtf8(std::string& out, uint32_t codePoint);

// Surrogate pairs become one code point; a lone surrogate becomes U+FFFD, so that a damaged
// name never yields bytes that are not UTF-8.
std::string Utf16ToUtf8(const std::vector<uint16_t>& units);

}  // namespace vu
