// The crash report's text and its box, built from fault records on the simulated PC.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/crash_report.h"
#include "core/globals.h"
#include "platform/sim/sim.h"

namespace vu {
namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t cr = text.find('\r'); cr != std::string::npos; cr = text.find('\r', start)) {
        lines.push_back(text.substr(start, cr - start));
        start = cr + 1;
    }
    EXPECT_EQ(start, text.size()) << "text after the last CR";
    return lines;
}

plat::FaultRecord Fault(uint32_t code) {
    plat::FaultRecord fault;
    fault.code = code;
    fault.codeAddress = 0x00401A2B;
    fault.targetAddress = 0;
    // Values that show the signed 32-bit form: small, negative and 64-bit ones.
    const uint64_t registers[8] = {0, 1, 0xFFFFFFFF, 0x80000000, 0x0019FF70, 0x7FFFFFFF, 0x1234567890ULL, 0x0019FE00};
    for (int i = 0; i < 8; ++i) fault.registers[i] = registers[i];
    return fault;
}

const std::vector<std::string> kRegisterLines = {
    "",
    "Register content:",
    "EAX = \t0",
    "EBX = \t1",
    "ECX = \t-1",
    "EDX = \t-2147483648",
    "EBP = \t1703792",
    "ESI = \t2147483647",
    "EDI = \t878082192",
    "ESP = \t1703424",
};

std::vector<std::string> Expected(std::vector<std::string> head) {
    head.insert(head.end(), kRegisterLines.begin(), kRegisterLines.end());
    return head;
}

TEST(CrashReport, AccessViolationHasTargetAddressAndSourcePosition) {
    plat::FaultRecord fault = Fault(0xC0000005);
    fault.targetAddress = 0;
    fault.sourceFile = "/work/main/src/prepare/format_drive.cpp";
    fault.sourceLine = 412;
    std::string text = CrashReportText(fault);
    EXPECT_EQ(text.find('\n'), std::string::npos);
    EXPECT_EQ(Lines(text), Expected({
                               "A program error was detected:",
                               "",
                               "Error Message:\tInvalid memory access",
                               "Error Code:\t-1073741819",
                               "Code Address:\t4201003",
                               "Target Address:\t0",
                               "Source Code file:\tformat_drive.cpp",
                               "Sourcecode line:\t412",
                           }));
}

TEST(CrashReport, TargetAddressIsSigned32BitOfTheAccessedAddress) {
    plat::FaultRecord fault = Fault(0xC0000005);
    fault.targetAddress = 0xFFFFFFFFFFFFFFF8ULL;  // a write just below a null pointer, 64-bit
    fault.codeAddress = 0x7FF712345678ULL;
    auto lines = Lines(CrashReportText(fault));
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(lines[4], "Code Address:\t305419896");
    EXPECT_EQ(lines[5], "Target Address:\t-8");
}

TEST(CrashReport, IntegerDivisionByZeroHasNoTargetAddress) {
    plat::FaultRecord fault = Fault(0xC0000094);
    fault.targetAddress = 1234;  // whatever the record holds, only an access violation shows it
    fault.sourceFile = "C:\\build\\src\\images\\backup.cpp";
    fault.sourceLine = 7;
    EXPECT_EQ(Lines(CrashReportText(fault)), Expected({
                                                 "A program error was detected:",
                                                 "",
                                                 "Error Message:\tDivision by zero ",
                                                 "Error Code:\t-1073741676",
                                                 "Code Address:\t4201003",
                                                 "Source Code file:\tbackup.cpp",
                                                 "Sourcecode line:\t7",
                                             }));
}

TEST(CrashReport, UnknownCodeWithoutSourcePosition) {
    plat::FaultRecord fault = Fault(0xE06D7363);  // a C++ exception nobody caught
    fault.sourceFile = "ignored.cpp";  // line -1 decides, not the file
    EXPECT_EQ(Lines(CrashReportText(fault)),
              Expected({
                  "A program error was detected:",
                  "",
                  "Error Message:\tUnknown error code",
                  "Error Code:\t-529697949",
                  "Code Address:\t4201003",
                  "Sourcecode line: Enable OnError lines support to get code line information.",
              }));
}

TEST(CrashReport, MessagesOfTheKnownCodes) {
    const std::pair<uint32_t, const char*> cases[] = {
        {0xC000008C, "Array bounds exceeded"},
        {0x80000003, "Debugger breakpoint reached"},
        {0x80000002, "Misaligned data access"},
        {0xC000008D, "Denormal floating-point operand"},
        {0xC000008E, "Division by zero (floating-point)"},
        {0xC000008F, "Inexact floating-point result"},
        {0xC0000090, "Invalid floating-point operation"},
        {0xC0000091, "Floating-point overflow (exponent to great)"},
        {0xC0000092, "Floating-point stack overflow or underflow"},
        {0xC0000093, "Floating-point underflow (exponent too small)"},
        {0xC000001D, "Illegal instruction"},
        {0xC0000006, "Memory page error"},
        {0xC0000095, "Integer overflow"},
        {0xC0000026, "Exception handler returned unknown value"},
        {0xC0000025, "Exception handler tried to continue after non-continuable exception"},
        {0xC0000096, "Privileged instruction"},
        {0x80000004, "Single step trap"},
        {0xC00000FD, "Stack overflow"},
    };
    for (auto [code, message] : cases) {
        auto lines = Lines(CrashReportText(Fault(code)));
        ASSERT_GE(lines.size(), 6u);
        EXPECT_EQ(lines[2], std::string("Error Message:\t") + message) << std::hex << code;
        EXPECT_EQ(lines[3], "Error Code:\t" + std::to_string(int32_t(code)));
        EXPECT_EQ(lines[5].rfind("Sourcecode line: Enable", 0), 0u) << "no Target Address line for " << std::hex << code;
    }
}

// The box and the exit happen in a child process: the report ends the process it runs in.
void ShowReportAndPrintBoxes(const std::string& programFileName) {
    sim::Reset();
    sim::SetExecutablePath("C:\\Tools\\Velloran\\Renamed.exe");
    ProgramFileName = programFileName;
    sim::OnMessage([](const sim::MessageRecord& box) {
        std::fprintf(stderr, "box title=[%s] flags=%u body=[%s]\n", box.title.c_str(), box.flags,
                     box.text.substr(0, box.text.find('\r')).c_str());
    });
    ShowCrashReport(Fault(0xC0000005));
}

TEST(CrashReportDeathTest, ShowsOneOkBoxAndExitsWithZero) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(ShowReportAndPrintBoxes("VelloranUtility.exe"), ::testing::ExitedWithCode(0),
                "box title=\\[OnError Info <VelloranUtility.exe>\\] flags=0 body=\\[A program error was detected:\\]");
}

TEST(CrashReportDeathTest, FaultBeforeTheIdentityIsReadNamesTheExecutable) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(ShowReportAndPrintBoxes(""), ::testing::ExitedWithCode(0), "box title=\\[OnError Info <Renamed.exe>\\]");
}

}  // namespace
}  // namespace vu
