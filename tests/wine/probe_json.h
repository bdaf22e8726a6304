// JSON lines for the window probe and its hook library: one object per line, pure ASCII
// (everything outside printable ASCII as \u escapes of UTF-16 code units), so that the output
// survives any console code page. Header-only; no thread rules (each Line is a local value).
#pragma once
#include <windows.h>

#include <cstdio>
#include <string>

namespace probe {

inline std::string JsonText(const std::wstring& text) {
    std::string out = "\"";
    for (wchar_t c : text) {
        if (c == L'"' || c == L'\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c) & 0xffff);
            out += buf;
        }
    }
    return out + "\"";
}

inline std::string Hex(ULONG_PTR value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "\"0x%llx\"", static_cast<unsigned long long>(value));
    return buf;
}

// One JSON object built field by field; Text() is the finished line with its newline.
class Line {
public:
    explicit Line(const char* kind) { text_ = std::string("{\"kind\":\"") + kind + "\""; }
    Line& Str(const char* key, const std::wstring& value) { return Raw(key, JsonText(value)); }
    Line& Int(const char* key, long long value) { return Raw(key, std::to_string(value)); }
    Line& Flag(const char* key, bool value) { return Raw(key, value ? "true" : "false"); }
    Line& Handle(const char* key, ULONG_PTR value) { return Raw(key, Hex(value)); }
    Line& Rect(const RECT& r) {
        return Int("x", r.left).Int("y", r.top).Int("w", r.right - r.left).Int("h", r.bottom - r.top);
    }
    Line& Raw(const char* key, const std::string& json) {
        text_ += std::string(",\"") + key + "\":" + json;
        return *this;
    }
    std::string Text() const { return text_ + "}\n"; }

private:
    std::string text_;
};

// The message the probe sends to a window to have the hook library report on it, and the name of
// the shared memory the report is written into (suffixed with the probe's process ID).
constexpr const wchar_t* kDumpMessageName = L"VelloranProbeDump";
constexpr const wchar_t* kReportMappingPrefix = L"Local\\VelloranProbeReport-";
constexpr DWORD kReportSize = 1 << 20;

}  // namespace probe
