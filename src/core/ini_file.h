// A small INI facility: reads "[Section]" / "key = value" files into memory and writes them in
// the program's own layout (byte-order mark, an empty first line, "key = value", "; comment",
// CR LF). Used by the settings file and the download lists. Plain values: any thread may use
// its own objects.
#pragma once
#include <optional>
#include <string>
#include <vector>

namespace vu {

struct IniKey {
    std::string name;
    std::string value;
};

struct IniSection {
    std::string name;
    std::vector<IniKey> keys;  // in file order
};

// A parsed file. Section and key names match without regard to (ASCII) case. A section that
// appears more than once gathers the keys of every appearance, in file order.
class IniData {
public:
    // Parses the text of a file: an optional UTF-8 byte-order mark, lines ending in LF or CR LF.
    // Lines that are neither a section, a "key = value" setting nor a comment are ignored, as are
    // settings before the first section.
    static IniData Parse(const std::string& text);
    // Reads and parses a file through the platform's file API; an unreadable file gives no sections.
    static IniData Load(const std::string& path);

    const IniSection* Section(const std::string& name) const;
    // The value of the first matching key of the section; nullopt when the section or key is missing.
    std::optional<std::string> Value(const std::string& section, const std::string& key) const;
    const std::vector<IniSection>& Sections() const { return sections_; }

private:
    std::vector<IniSection> sections_;
};

// Builds a file in the program's layout.
class IniWriter {
public:
    IniWriter();  // starts with the byte-order mark and the empty first line
    void Section(const std::string& name);
    void Key(const std::string& name, const std::string& value);
    void Key(const std::string& name, long long value);
    void Comment(const std::string& text);
    const std::string& Bytes() const { return bytes_; }
    // Creates or truncates the file; false when it cannot be written.
    bool Save(const std::string& path) const;

private:
    void Line(const std::string& text);
    std::string bytes_;
};

// ASCII case-insensitive equality, as Windows compares INI names and paths.
bool EqualsNoCase(const std::string& a, const std::string& b);

}  // namespace vu
