// The DWARF line-number program decoder; see debug_lines.h.
#include "platform/common/debug_lines.h"

#include <cstring>
#include <vector>

namespace vu {

namespace {

// Bounds-checked little-endian reading; a read past the end sets `bad` and yields zeros.
class Reader {
public:
    Reader(std::string_view bytes, size_t pos = 0) : bytes_(bytes), pos_(pos) {}

    bool bad() const { return bad_; }
    bool atEnd() const { return bad_ || pos_ >= bytes_.size(); }
    size_t pos() const { return pos_; }

    uint64_t fixed(size_t n) {
        if (n > 8 || !need(n)) return 0;
        uint64_t v = 0;
        for (size_t i = 0; i < n; ++i) v |= uint64_t(uint8_t(bytes_[pos_ + i])) << (8 * i);
        pos_ += n;
        return v;
    }
    uint8_t u8() { return uint8_t(fixed(1)); }
    int8_t s8() { return int8_t(fixed(1)); }

    uint64_t uleb() {
        uint64_t v = 0;
        for (int shift = 0;; shift += 7) {
            if (!need(1)) return 0;
            uint8_t b = uint8_t(bytes_[pos_++]);
            if (shift < 64) v |= uint64_t(b & 0x7F) << shift;
            if (!(b & 0x80)) return v;
        }
    }
    int64_t sleb() {
        int64_t v = 0;
        int shift = 0;
        uint8_t b = 0;
        do {
            if (!need(1)) return 0;
            b = uint8_t(bytes_[pos_++]);
            if (shift < 64) v |= int64_t(uint64_t(b & 0x7F) << shift);
            shift += 7;
        } while (b & 0x80);
        if (shift < 64 && (b & 0x40)) v |= -(int64_t(1) << shift);
        return v;
    }
    std::string_view cstr() {
        if (bad_) return {};
        const void* nul = std::memchr(bytes_.data() + pos_, 0, bytes_.size() - pos_);
        if (!nul) {
            bad_ = true;
            return {};
        }
        size_t len = size_t(static_cast<const char*>(nul) - (bytes_.data() + pos_));
        std::string_view s = bytes_.substr(pos_, len);
        pos_ += len + 1;
        return s;
    }
    void seek(size_t pos) {
        if (pos > bytes_.size()) bad_ = true;
        else pos_ = pos;
    }
    void skip(uint64_t n) {
        if (need(n)) pos_ += size_t(n);
    }

private:
    bool need(uint64_t n) {
        if (bad_ || n > bytes_.size() - pos_) bad_ = true;
        return !bad_;
    }

    std::string_view bytes_;
    size_t pos_ = 0;
    bool bad_ = false;
};

// A string from a string section at `offset`, "" when out of range.
std::string_view StringAt(std::string_view section, uint64_t offset) {
    if (offset >= section.size()) return {};
    Reader r(section, size_t(offset));
    return r.cstr();
}

enum : uint64_t {
    FormBlock = 0x09, FormData1 = 0x0b, FormData2 = 0x05, FormData4 = 0x06, FormData8 = 0x07,
    FormData16 = 0x1e, FormString = 0x08, FormStrp = 0x0e, FormLineStrp = 0x1f, FormUdata = 0x0f,
    FormSdata = 0x0d,
};
enum : uint64_t { ContentPath = 1, ContentDirectoryIndex = 2 };

struct FileEntry {
    std::string_view name;
    uint64_t dir = 0;
};

struct Unit {
    int version = 0;
    int offsetSize = 4;
    uint8_t minInstLength = 1;
    bool defaultIsStmt = true;
    int8_t lineBase = 0;
    uint8_t lineRange = 1;
    uint8_t opcodeBase = 1;
    std::vector<uint8_t> opcodeLengths;
    std::vector<std::string_view> dirs;
    std::vector<FileEntry> files;
};

// One attribute of a version 5 directory or file entry: a string or a number, by its form.
bool ReadEntryValue(Reader& r, uint64_t form, const Unit& unit, const DebugLineSections& s,
                    std::string_view& text, uint64_t& number) {
    switch (form) {
        case FormString: text = r.cstr(); break;
        case FormLineStrp: text = StringAt(s.lineStr, r.fixed(unit.offsetSize)); break;
        case FormStrp: text = StringAt(s.str, r.fixed(unit.offsetSize)); break;
        case FormUdata: number = r.uleb(); break;
        case FormSdata: number = uint64_t(r.sleb()); break;
        case FormData1: number = r.fixed(1); break;
        case FormData2: number = r.fixed(2); break;
        case FormData4: number = r.fixed(4); break;
        case FormData8: number = r.fixed(8); break;
        case FormData16: r.skip(16); break;
        case FormBlock: r.skip(r.uleb()); break;
        default: return false;  // a form that needs other sections: give up on this table
    }
    return !r.bad();
}

// Reads the version 5 list of entries (directories or files) described by a format table.
bool ReadEntryList(Reader& r, const Unit& unit, const DebugLineSections& s, std::vector<FileEntry>& out) {
    std::vector<std::pair<uint64_t, uint64_t>> format(r.u8());
    for (auto& [content, form] : format) {
        content = r.uleb();
        form = r.uleb();
    }
    uint64_t count = r.uleb();
    for (uint64_t i = 0; i < count && !r.bad(); ++i) {
        FileEntry entry;
        for (auto [content, form] : format) {
            std::string_view text;
            uint64_t number = 0;
            if (!ReadEntryValue(r, form, unit, s, text, number)) return false;
            if (content == ContentPath) entry.name = text;
            if (content == ContentDirectoryIndex) entry.dir = number;
        }
        out.push_back(entry);
    }
    return !r.bad();
}

bool IsAbsolute(std::string_view path) {
    return !path.empty() && (path[0] == '/' || path[0] == '\\' || (path.size() > 1 && path[1] == ':'));
}

std::string FilePath(const Unit& unit, uint64_t fileIndex) {
    // Version 5 counts files from 0, earlier versions from 1.
    uint64_t slot = unit.version >= 5 ? fileIndex : fileIndex - 1;
    if (slot >= unit.files.size()) return {};
    const FileEntry& file = unit.files[slot];
    std::string path(file.name);
    if (IsAbsolute(file.name)) return path;
    // Folder 0 is the compilation folder before version 5, which the line table does not carry.
    uint64_t dirSlot = unit.version >= 5 ? file.dir : file.dir - 1;
    if (file.dir == 0 && unit.version < 5) return path;
    if (dirSlot >= unit.dirs.size() || unit.dirs[dirSlot].empty()) return path;
    return std::string(unit.dirs[dirSlot]) + "/" + path;
}

// Parses the header that starts at `r` (just after the unit length). Leaves `r` anywhere.
bool ReadHeader(Reader& r, int offsetSize, const DebugLineSections& s, Unit& unit, size_t& programStart) {
    unit.offsetSize = offsetSize;
    unit.version = int(r.fixed(2));
    if (unit.version < 2 || unit.version > 5) return false;
    if (unit.version >= 5) r.skip(2);  // address size, segment selector size
    uint64_t headerLength = r.fixed(offsetSize);
    programStart = r.pos() + size_t(headerLength);
    unit.minInstLength = r.u8();
    if (unit.version >= 4) r.u8();  // maximum operations per instruction: 1 on the processors we know
    unit.defaultIsStmt = r.u8() != 0;
    unit.lineBase = r.s8();
    unit.lineRange = r.u8();
    unit.opcodeBase = r.u8();
    if (unit.lineRange == 0 || unit.opcodeBase == 0) return false;
    unit.opcodeLengths.resize(unit.opcodeBase);
    for (int i = 1; i < unit.opcodeBase; ++i) unit.opcodeLengths[i] = r.u8();
    if (unit.version >= 5) {
        std::vector<FileEntry> dirs;
        if (!ReadEntryList(r, unit, s, dirs)) return false;
        for (const auto& d : dirs) unit.dirs.push_back(d.name);
        if (!ReadEntryList(r, unit, s, unit.files)) return false;
    } else {
        for (std::string_view dir = r.cstr(); !dir.empty() && !r.bad(); dir = r.cstr()) unit.dirs.push_back(dir);
        for (std::string_view name = r.cstr(); !name.empty() && !r.bad(); name = r.cstr()) {
            FileEntry entry{name, r.uleb()};
            r.uleb();  // modification time
            r.uleb();  // length
            unit.files.push_back(entry);
        }
    }
    return !r.bad();
}

struct Row {
    uint64_t address = 0;
    uint64_t file = 1;
    int64_t line = 1;
};

// Runs one unit's line-number program; true with `found` filled when a row covers `address`.
bool RunProgram(Reader& r, size_t end, Unit& unit, uint64_t address, Row& found) {
    enum : uint8_t { Copy = 1, AdvancePc, AdvanceLine, SetFile, SetColumn, NegateStmt, SetBasicBlock,
                     ConstAddPc, FixedAdvancePc, SetPrologueEnd, SetEpilogueBegin, SetIsa };
    enum : uint8_t { EndSequence = 1, SetAddress, DefineFile };

    Row state;
    Row previous;
    bool havePrevious = false;  // `previous` is a row of the current sequence
    auto emit = [&](bool endSequence) {
        if (havePrevious && previous.address <= address && address < state.address) {
            found = previous;
            return true;
        }
        previous = state;
        havePrevious = !endSequence;
        return false;
    };

    while (r.pos() < end && !r.bad()) {
        uint8_t op = r.u8();
        if (op >= unit.opcodeBase) {
            uint8_t adjusted = uint8_t(op - unit.opcodeBase);
            state.address += uint64_t(adjusted / unit.lineRange) * unit.minInstLength;
            state.line += unit.lineBase + adjusted % unit.lineRange;
            if (emit(false)) return true;
            continue;
        }
        switch (op) {
            case 0: {
                uint64_t length = r.uleb();
                if (length == 0 || length > end - r.pos()) return false;
                size_t next = r.pos() + size_t(length);
                uint8_t sub = r.u8();
                if (sub == EndSequence) {
                    if (emit(true)) return true;
                    state = Row{};
                } else if (sub == SetAddress) {
                    state.address = r.fixed(size_t(length - 1));
                } else if (sub == DefineFile && unit.version < 5) {
                    FileEntry entry{r.cstr(), r.uleb()};
                    unit.files.push_back(entry);
                }
                if (r.bad()) return false;
                r.seek(next);  // past operands this decoder does not need
                break;
            }
            case Copy:
                if (emit(false)) return true;
                break;
            case AdvancePc: state.address += r.uleb() * unit.minInstLength; break;
            case AdvanceLine: state.line += r.sleb(); break;
            case SetFile: state.file = r.uleb(); break;
            case ConstAddPc:
                state.address += uint64_t((255 - unit.opcodeBase) / unit.lineRange) * unit.minInstLength;
                break;
            case FixedAdvancePc: state.address += r.fixed(2); break;
            default:
                // Column, flags, ISA and opcodes of later versions: skip their arguments.
                for (int i = 0; i < unit.opcodeLengths[op]; ++i) r.uleb();
                break;
        }
    }
    return false;
}

}  // namespace

SourceLine FindSourceLine(const DebugLineSections& sections, uint64_t address) {
    Reader units(sections.line);
    while (!units.atEnd()) {
        int offsetSize = 4;
        uint64_t length = units.fixed(4);
        if (length == 0xFFFFFFFF) {
            offsetSize = 8;
            length = units.fixed(8);
        }
        size_t start = units.pos();
        if (units.bad() || length > sections.line.size() - start) break;
        size_t end = start + size_t(length);

        Unit unit;
        size_t programStart = 0;
        Reader header(sections.line.substr(0, end), start);
        if (ReadHeader(header, offsetSize, sections, unit, programStart) && programStart <= end) {
            Reader program(sections.line.substr(0, end), programStart);
            Row row;
            if (RunProgram(program, end, unit, address, row)) {
                if (row.line <= 0 || row.line > INT32_MAX) return {};
                return {FilePath(unit, row.file), int(row.line)};
            }
        }
        units.skip(length);
    }
    return {};
}

}  // namespace vu
