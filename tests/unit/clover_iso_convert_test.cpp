// The in-process conversion of a bootloader release into its data-set ZIP.
#include <gtest/gtest.h>
#include <zip.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <set>
#include <string>

#include "clover_release.h"
#include "platform/files.h"
#include "platform/sim/sim.h"
#include "prepare/clover_iso_convert.h"

namespace vu {
namespace {

// Name -> bytes of every entry ("" for a folder entry, whose name ends with "/").
std::map<std::string, std::string> ZipEntries(const std::string& path) {
    std::map<std::string, std::string> entries;
    int error = 0;
    zip_t* zip = zip_open(plat::LibraryPath(path).c_str(), ZIP_RDONLY, &error);
    if (!zip) return entries;
    for (zip_int64_t i = 0; i < zip_get_num_entries(zip, 0); i++) {
        zip_stat_t stat;
        zip_stat_index(zip, zip_uint64_t(i), 0, &stat);
        std::string bytes(size_t(stat.size), '\0');
        if (zip_file_t* file = zip_fopen_index(zip, zip_uint64_t(i), 0)) {
            zip_fread(file, bytes.data(), bytes.size());
            zip_fclose(file);
        }
        entries[stat.name] = bytes;
    }
    zip_discard(zip);
    return entries;
}

class CloverIsoConvert : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        ASSERT_TRUE(plat::CreateFolder("C:\\Work"));
    }
    void TearDown() override { sim::Reset(); }

    std::string Host(const std::string& path) { return plat::LibraryPath(path); }
    std::string Iso(const test::Entries& entries) { return test::IsoImage(entries, Host("C:\\Work\\scratch.iso")); }

    const std::string archive_ = "C:\\Work\\CloverISO-5151.tar.lzma";
    const std::string zip_ = "C:\\Work\\CloverISO-5151.zip";
};

TEST_F(CloverIsoConvert, TheTreeIsTheOneTheUnpackScriptMakes) {
    test::WriteRelease(Host(archive_), {{"README", "not an image"},
                                        {"CloverISO-5151/CloverISO-5151.iso", Iso(test::CloverIsoEntries("loader"))}});
    std::string detail;
    ASSERT_EQ(ConvertCloverIso(archive_, zip_, &detail), ConvertResult::Done) << detail;
    auto entries = ZipEntries(zip_);

    std::set<std::string> names;
    for (const auto& [name, bytes] : entries) names.insert(name);
    const std::string oem = "EFI/CLOVER/OEM/SystemProductName/";
    std::set<std::string> expected = {
        "EFI/", "EFI/CLOVER/", "EFI/CLOVER/ACPI/", "EFI/CLOVER/ACPI/origin/", "EFI/CLOVER/ACPI/patched/",
        "EFI/CLOVER/ACPI/WINDOWS/", "EFI/CLOVER/drivers32UEFI/", "EFI/CLOVER/kexts/", "EFI/CLOVER/misc/",
        "EFI/CLOVER/ROM/", "EFI/CLOVER/OEM/", oem, oem + "ACPI/", oem + "ACPI/origin/", oem + "ACPI/patched/",
        oem + "ROM/", oem + "kexts/", oem + "UEFI/", oem + "UEFI/ACPI/", oem + "UEFI/ACPI/origin/",
        oem + "UEFI/ACPI/patched/", oem + "UEFI/kexts/", oem + "UEFI/kexts/Other/",
        // from the image, merged with the fixed folders without regard to case
        "EFI/CLOVER/kexts/Other/", "EFI/CLOVER/kexts/Other/FakeSMC.kext", "EFI/CLOVER/config.plist",
        "EFI/CLOVER/drivers-Off/", "EFI/CLOVER/drivers-Off/drivers64UEFI/",
        "EFI/CLOVER/drivers-Off/drivers64UEFI/OsxAptioFixDrv-64.efi", "EFI/CLOVER/drivers64UEFI/",
        "EFI/CLOVER/drivers64UEFI/HFSPlus.efi", "usr/", "usr/standalone/", "usr/standalone/i386/",
        "usr/standalone/i386/ia32/", "usr/standalone/i386/ia32/boot3", "usr/standalone/i386/ia32/boot7",
        "usr/standalone/i386/x64/", "usr/standalone/i386/x64/boot6", "usr/standalone/i386/x64/boot7",
        "notes.tar",
        // the copies
        oem + "config.plist", oem + "UEFI/config.plist", "EFI/CLOVER/drivers64UEFI/OsxAptioFixDrv-64.efi",
        "boot3", "boot6", "boot7", "boot",
    };
    std::vector<std::string> missing, extra;
    std::set_difference(expected.begin(), expected.end(), names.begin(), names.end(), std::back_inserter(missing));
    std::set_difference(names.begin(), names.end(), expected.begin(), expected.end(), std::back_inserter(extra));
    EXPECT_TRUE(missing.empty() && extra.empty()) << "missing " << ::testing::PrintToString(missing) << ", extra "
                                                  << ::testing::PrintToString(extra);
    EXPECT_EQ(entries["boot"], "loader");
    EXPECT_EQ(entries["boot7"], "x64-7");  // x64 after ia32
    EXPECT_EQ(entries[oem + "UEFI/config.plist"], "<plist>config</plist>");
    EXPECT_EQ(entries["EFI/CLOVER/drivers64UEFI/OsxAptioFixDrv-64.efi"], "aptio");
    EXPECT_FALSE(plat::FolderExists("C:\\Work\\CloverISO-5151"));
}

TEST_F(CloverIsoConvert, BrokenReleasesFailAndLeaveNothingBehind) {
    std::string iso = Iso(test::CloverIsoEntries("loader"));
    test::WriteRelease(Host("C:\\Work\\good"), {{"CloverISO-5151.iso", iso}});
    std::string good;
    ASSERT_TRUE(plat::ReadWholeFile("C:\\Work\\good", good));

    struct Case {
        const char* what;
        std::function<void()> make;
    } cases[] = {
        {"missing", [&] { plat::DeleteFile(archive_); }},
        {"cut in half", [&] { plat::WriteWholeFile(archive_, good.substr(0, good.size() / 2)); }},
        {"bytes changed", [&] {
             std::string bad = good;
             for (size_t i = bad.size() / 3; i < bad.size() / 3 + 64; i++) bad[i] = char(~bad[i]);
             plat::WriteWholeFile(archive_, bad);
         }},
        {"not compressed", [&] { test::WriteRelease(Host(archive_), {{"CloverISO-5151.iso", iso}}, true); }},
        {"no image", [&] { test::WriteRelease(Host(archive_), {{"CloverISO-5151.txt", iso}}); }},
        {"no ISO inside", [&] { test::WriteRelease(Host(archive_), {{"CloverISO-5151.iso", "garbage"}}); }},
    };
    for (const auto& c : cases) {
        c.make();
        EXPECT_EQ(ConvertCloverIso(archive_, zip_), ConvertResult::Failed) << c.what;
        EXPECT_FALSE(plat::FileExists(zip_)) << c.what;
        EXPECT_FALSE(plat::FolderExists("C:\\Work\\CloverISO-5151")) << c.what;
    }
}

}  // namespace
}  // namespace vu
