// Source lines from DWARF line tables: hand-made tables of versions 3 and 4, damaged tables, the
// line tables the compiler wrote into this test program, and the PE section table they are found
// through in the Windows executable.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <elf.h>
#include <link.h>

#include <cstring>
#include <fstream>
#include <string>

#include "platform/common/debug_lines.h"
#include "platform/common/pe_image.h"

namespace vu {
namespace {

class Bytes {
public:
    Bytes& u8(uint8_t v) { data.push_back(char(v)); return *this; }
    Bytes& u16(uint16_t v) { return u8(v & 0xFF).u8(v >> 8); }
    Bytes& u32(uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
    Bytes& u64(uint64_t v) { return u32(uint32_t(v)).u32(uint32_t(v >> 32)); }
    Bytes& str(const std::string& s) { data += s; return u8(0); }
    Bytes& uleb(uint64_t v) {
        do {
            uint8_t b = v & 0x7F;
            v >>= 7;
            u8(b | (v ? 0x80 : 0));
        } while (v);
        return *this;
    }
    Bytes& sleb(int64_t v) {
        for (;;) {
            uint8_t b = v & 0x7F;
            v >>= 7;
            bool done = (v == 0 && !(b & 0x40)) || (v == -1 && (b & 0x40));
            u8(b | (done ? 0 : 0x80));
            if (done) return *this;
        }
    }
    Bytes& raw(const std::string& s) { data += s; return *this; }
    std::string data;
};

constexpr int8_t kLineBase = -5;
constexpr uint8_t kLineRange = 14, kOpcodeBase = 13;

uint8_t Special(int addressDelta, int lineDelta) {
    return uint8_t((lineDelta - kLineBase) + kLineRange * addressDelta + kOpcodeBase);
}

// One line-number unit of version 3 or 4 around its header fields and program.
std::string Unit(int version, const std::string& dirsAndFiles, const std::string& program) {
    Bytes header;
    header.u8(1);                           // minimum instruction length
    if (version >= 4) header.u8(1);         // operations per instruction
    header.u8(1).u8(uint8_t(kLineBase)).u8(kLineRange).u8(kOpcodeBase);
    for (uint8_t length : {0, 1, 1, 1, 1, 0, 0, 0, 1, 0, 0, 1}) header.u8(length);
    header.raw(dirsAndFiles);
    Bytes unit;
    unit.u16(uint16_t(version)).u32(uint32_t(header.data.size())).raw(header.data).raw(program);
    return Bytes().u32(uint32_t(unit.data.size())).raw(unit.data).data;
}

// Version 4: rows at 0x1000 line 10 and 0x1004 line 12 of /src/a.cpp, 0x100C line 0 and 0x1010
// line 30 of /abs/b.h, sequence end at 0x1020. Version 3: 0x2000 line 5 of c.cpp, relative to the
// compilation folder, and a file defined in the program: 0x2008 line 6 of /inc/d.h.
std::string FirstUnit() {
    Bytes files4;
    files4.str("/src").u8(0);
    files4.str("a.cpp").uleb(1).uleb(0).uleb(0).str("/abs/b.h").uleb(0).uleb(0).uleb(0).u8(0);
    Bytes program4;
    program4.u8(0).uleb(9).u8(2).u64(0x1000);  // set address
    program4.u8(3).sleb(9).u8(1);              // line 10, copy
    program4.u8(Special(4, 2));                // 0x1004 line 12
    program4.u8(4).uleb(2);                    // file 2
    program4.u8(2).uleb(8).u8(3).sleb(-12).u8(1);  // 0x100C line 0
    program4.u8(5).uleb(7);                    // a column: an argument to skip
    program4.u8(2).uleb(4).u8(3).sleb(30).u8(1);   // 0x1010 line 30
    program4.u8(2).uleb(0x10).u8(0).uleb(1).u8(1);  // 0x1020 end of sequence
    return Unit(4, files4.data, program4.data);
}

std::string SecondUnit() {
    Bytes files3;
    files3.str("/inc").u8(0);
    files3.str("c.cpp").uleb(0).uleb(0).uleb(0).u8(0);
    Bytes program3;
    program3.u8(0).uleb(5).u8(2).u32(0x2000);  // a 4-byte address
    program3.u8(3).sleb(4).u8(1);              // 0x2000 line 5
    program3.u8(0).uleb(8).u8(3).str("d.h").uleb(1).uleb(0).uleb(0);  // define file 2
    program3.u8(4).uleb(2).u8(Special(8, 1));  // 0x2008 line 6 of d.h
    program3.u8(9).u16(8).u8(0).uleb(1).u8(1);  // fixed advance to 0x2010, end
    return Unit(3, files3.data, program3.data);
}

std::string TwoUnits() { return FirstUnit() + SecondUnit(); }

TEST(DebugLines, MapsAddressesThroughHandMadeTables) {
    std::string table = TwoUnits();
    DebugLineSections sections{table, {}, {}};
    struct Case {
        uint64_t address;
        std::string file;
        int line;
    } cases[] = {
        {0x0FFF, "", -1},          {0x1000, "/src/a.cpp", 10}, {0x1003, "/src/a.cpp", 10},
        {0x1004, "/src/a.cpp", 12}, {0x100B, "/src/a.cpp", 12}, {0x100C, "", -1},  // line 0
        {0x1010, "/abs/b.h", 30},   {0x101F, "/abs/b.h", 30},   {0x1020, "", -1},
        {0x2000, "c.cpp", 5},       {0x2007, "c.cpp", 5},       {0x2008, "/inc/d.h", 6},
        {0x200F, "/inc/d.h", 6},    {0x2010, "", -1},
    };
    for (const auto& c : cases) {
        SourceLine found = FindSourceLine(sections, c.address);
        EXPECT_EQ(found.line, c.line) << std::hex << c.address;
        EXPECT_EQ(found.file, c.file) << std::hex << c.address;
    }
}

TEST(DebugLines, DamagedTablesYieldNothingOrAnAnswerButNeverReadOutside) {
    const std::string table = TwoUnits();
    for (size_t cut = 0; cut < table.size(); ++cut) {
        std::string shortened = table.substr(0, cut);
        DebugLineSections sections{shortened, {}, {}};
        EXPECT_EQ(FindSourceLine(sections, 0x1010).line, cut >= FirstUnit().size() ? 30 : -1) << cut;
        EXPECT_EQ(FindSourceLine(sections, 0x2008).line, -1) << cut;
    }
    for (size_t at = 0; at < table.size(); ++at) {
        for (uint8_t value : {0x00, 0x7F, 0x80, 0xFF}) {
            std::string damaged = table;
            damaged[at] = char(value);
            DebugLineSections sections{damaged, {}, {}};
            for (uint64_t address : {0x1000, 0x1010, 0x2008}) FindSourceLine(sections, address);
        }
    }
}

// ---- The tables of this very program --------------------------------------------------------

// A section of this program's ELF file, read where it lies (the whole file is large).
std::string ElfSection(std::ifstream& file, const char* wanted) {
    auto readAt = [&file](uint64_t offset, void* buffer, size_t size) {
        file.clear();
        file.seekg(std::streamoff(offset));
        return bool(file.read(static_cast<char*>(buffer), std::streamsize(size)));
    };
    Elf64_Ehdr header;
    if (!readAt(0, &header, sizeof header)) return {};
    auto section = [&](size_t i) {
        Elf64_Shdr s{};
        readAt(header.e_shoff + i * header.e_shentsize, &s, sizeof s);
        return s;
    };
    Elf64_Shdr names = section(header.e_shstrndx);
    std::string nameTable(names.sh_size, '\0');
    readAt(names.sh_offset, nameTable.data(), nameTable.size());
    for (size_t i = 0; i < header.e_shnum; ++i) {
        Elf64_Shdr s = section(i);
        if (s.sh_name >= nameTable.size() || std::strcmp(nameTable.c_str() + s.sh_name, wanted) != 0) continue;
        EXPECT_FALSE(s.sh_flags & SHF_COMPRESSED) << wanted << " is compressed";
        std::string bytes(s.sh_size, '\0');
        readAt(s.sh_offset, bytes.data(), bytes.size());
        return bytes;
    }
    return {};
}

__attribute__((noinline)) uintptr_t CallerAddress() {
    uintptr_t address = reinterpret_cast<uintptr_t>(__builtin_return_address(0));
    asm volatile("" ::: "memory");  // keeps the call a call
    return address;
}

uintptr_t LoadBias() {
    uintptr_t bias = 0;
    dl_iterate_phdr([](dl_phdr_info* info, size_t, void* out) {
        *static_cast<uintptr_t*>(out) = info->dlpi_addr;
        return 1;  // the first object is the program itself
    }, &bias);
    return bias;
}

TEST(DebugLines, FindsTheLineOfACallInThisProgram) {
    std::ifstream exe("/proc/self/exe", std::ios::binary);
    std::string line = ElfSection(exe, ".debug_line");
    std::string lineStr = ElfSection(exe, ".debug_line_str");
    std::string str = ElfSection(exe, ".debug_str");
    ASSERT_FALSE(line.empty()) << "the tests are built without line tables";

    uintptr_t returnAddress = CallerAddress(); const int callLine = __LINE__;
    // The return address follows the call; the byte before it is still the call's.
    SourceLine found = FindSourceLine({line, lineStr, str}, returnAddress - 1 - LoadBias());
    EXPECT_EQ(found.line, callLine);
    EXPECT_TRUE(found.file.ends_with("/tests/unit/debug_lines_test.cpp")) << found.file;
}

// ---- PE section tables -------------------------------------------------------------------------

// A PE32 file with ".text" and a section whose long name ".debug_line" is in the string table.
std::string SmallPe() {
    Bytes pe;
    pe.raw("MZ").raw(std::string(0x3A, '\0')).u32(0x40);
    pe.raw(std::string("PE\0\0", 4)).u16(0x14C).u16(2).u32(0).u32(0x600).u32(0).u16(0xE0).u16(0x0102);
    Bytes optional;
    optional.u16(0x10B).raw(std::string(26, '\0')).u32(0x400000);
    optional.raw(std::string(0xE0 - optional.data.size(), '\0'));
    pe.raw(optional.data);
    pe.raw(std::string(".text\0\0\0", 8)).u32(0x10).u32(0x1000).u32(0x200).u32(0x200).raw(std::string(16, '\0'));
    pe.raw(std::string("/4\0\0\0\0\0\0", 8)).u32(5).u32(0x2000).u32(0x200).u32(0x400).raw(std::string(16, '\0'));
    pe.raw(std::string(0x200 - pe.data.size(), '\0'));
    pe.raw(std::string(0x200, '\x90'));
    pe.raw("hello").raw(std::string(0x200 - 5, 'x'));
    pe.u32(4 + 12).str(".debug_line");
    return pe.data;
}

ReadAt FileReader(const std::string& file) {
    return [&file](uint64_t offset, void* buffer, size_t size) {
        if (offset > file.size() || size > file.size() - offset) return false;
        std::memcpy(buffer, file.data() + offset, size);
        return true;
    };
}

TEST(PeImage, ReadsSectionsWithLongNames) {
    std::string file = SmallPe();
    auto image = ReadPeImage(FileReader(file));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->imageBase, 0x400000u);
    ASSERT_EQ(image->sections.size(), 2u);
    EXPECT_EQ(image->sections[0].name, ".text");
    EXPECT_EQ(image->sections[1].name, ".debug_line");
    EXPECT_EQ(image->sections[1].virtualAddress, 0x2000u);
    EXPECT_EQ(ReadPeSection(FileReader(file), *image, ".debug_line"), "hello");
    EXPECT_EQ(ReadPeSection(FileReader(file), *image, ".debug_str"), "");
}

TEST(PeImage, RefusesWhatIsNoPeFile) {
    std::string file = SmallPe();
    for (size_t cut : {0, 0x30, 0x50, 0x100}) {
        std::string shortened = file.substr(0, cut);
        EXPECT_FALSE(ReadPeImage(FileReader(shortened))) << cut;
    }
    std::string notPe = file;
    notPe[0x41] = 'X';
    EXPECT_FALSE(ReadPeImage(FileReader(notPe)));
    // A section cut short by the end of the file reads as missing, not as half a section.
    std::string truncated = file.substr(0, 0x402);
    auto image = ReadPeImage(FileReader(truncated));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->sections[1].name, "/4");  // the string table is gone with the end of the file
    EXPECT_EQ(ReadPeSection(FileReader(truncated), *image, "/4"), "");
}

}  // namespace
}  // namespace vu
