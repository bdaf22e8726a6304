// UTF-8 <-> UTF-16 conversion; see wide.h.
#include "platform/win32/wide.h"

#include <windows.h>

namespace vu::plat {

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty()) return {};
    int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring result(size_t(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), result.data(), length);
    return result;
}

std::string Narrow(const wchar_t* text, size_t length) {
    if (!text || length == 0) return {};
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, int(length), nullptr, 0, nullptr, nullptr);
    std::string result(size_t(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, int(length), result.data(), bytes, nullptr, nullptr);
    return result;
}

std::string Narrow(const std::wstring& utf16) { return Narrow(utf16.data(), utf16.size()); }

}  // namespace vu::plat
