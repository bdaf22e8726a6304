// The INI facility; see ini_file.h.
#include "core/ini_file.h"

#include <cctype>

#include "platform/files.h"

namespace vu {

namespace {

const std::string kBom = "\xEF\xBB\xBF";

std::string Trim(const std::string& s) {
    size_t first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    size_t last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

}  // namespace

bool EqualsNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

IniData IniData::Parse(const std::string& text) {
    IniData data;
    size_t pos = text.compare(0, kBom.size(), kBom) == 0 ? kBom.size() : 0;
    IniSection* current = nullptr;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        line = Trim(line);
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            size_t close = line.find(']');
            if (close == std::string::npos) continue;
            std::string name = Trim(line.substr(1, close - 1));
            current = nullptr;
            for (auto& s : data.sections_)
                if (EqualsNoCase(s.name, name)) current = &s;
            if (!current) {
                data.sections_.push_back({name, {}});
                current = &data.sections_.back();
            }
            continue;
        }
        size_t equals = line.find('=');
        if (!current || equals == std::string::npos) continue;
        std::string name = Trim(line.substr(0, equals));
        if (name.empty()) continue;
        current->keys.push_back({name, Trim(line.substr(equals + 1))});
    }
    return data;
}

IniData IniData::Load(const std::string& path) {
    std::string text;
    if (!plat::ReadWholeFile(path, text)) return {};
    return Parse(text);
}

const IniSection* IniData::Section(const std::string& name) const {
    for (auto& s : sections_)
        if (EqualsNoCase(s.name, name)) return &s;
    return nullptr;
}

std::optional<std::string> IniData::Value(const std::string& section, const std::string& key) const {
    const IniSection* s = Section(section);
    if (!s) return std::nullopt;
    for (auto& k : s->keys)
        if (EqualsNoCase(k.name, key)) return k.value;
    return std::nullopt;
}

IniWriter::IniWriter() : bytes_(kBom) { Line(""); }

void IniWriter::Line(const std::string& text) {
    bytes_ += text;
    bytes_ += "\r\n";
}

void IniWriter::Section(const std::string& name) { Line("[" + name + "]"); }

void IniWriter::Key(const std::string& name, const std::string& value) { Line(name + " = " + value); }

void IniWriter::Key(const std::string& name, long long value) { Key(name, std::to_string(value)); }

void IniWriter::Comment(const std::string& text) { Line("; " + text); }

// Written beside the old file and moved over it: a full disk or a crash while writing leaves the
// old settings whole instead of a truncated file.
bool IniWriter::Save(const std::string& path) const {
    std::string written = path + ".new";
    if (plat::WriteWholeFile(written, bytes_) && plat::MoveFileOver(written, path)) return true;
    plat::DeleteFile(written);
    return false;
}

}  // namespace vu
