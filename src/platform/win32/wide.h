// UTF-8 <-> UTF-16 conversion at the Windows boundary: the program keeps UTF-8 std::string, the
// wide-character Windows functions take and give UTF-16. Callable from any thread.
#pragma once
#include <string>

namespace vu::plat {

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& utf16);
// For buffers filled by Windows: the first `length` characters of `text`.
std::string Narrow(const wchar_t* text, size_t length);

}  // namespace vu::plat
