// Installing and removing the HFS+ driver services on the simulated PC (in-memory registry, the
// system folder on disk), with stand-in driver packages packed from tests/fixtures/hfs_drivers.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "app/main_window.h"
#include "app/register_operations.h"
#include "core/globals.h"
#include "core/settings.h"
#include "core/taskbar_progress.h"
#include "core/work_folder.h"
#include "platform/files.h"
#include "platform/gui.h"
#include "platform/registry.h"
#include "platform/sim/sim.h"
#include "tools/hfs_drivers.h"

namespace vu {
namespace {

const std::string kSystemDrivers = "C:\\Windows\\system32\\drivers\\";

std::string ReadHost(const std::string& path) {
    std::string bytes;
    return plat::ReadWholeFile(path, bytes) ? bytes : "<missing>";
}

class HfsDrivers : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        RegisterOperations();
        SetSettingsStartValues();
        BuildMainWindow();
        for (auto [arch, bytes] : {std::pair{"x86", &x86_}, {"x64", &x64_}}) {
            std::ifstream file(std::string(VU_TEST_PACKAGE_DIR) + "/hfs_" + arch + ".pkg", std::ios::binary);
            *bytes = std::string(std::istreambuf_iterator<char>(file), {});
            ASSERT_FALSE(bytes->empty()) << arch;
        }
        packages_ = {{Bytes(x86_), x86_.size()}, {Bytes(x64_), x64_.size()}};
        UpdateHfsDriverMenu(packages_);  // the menu of a build that carries them
    }
    void TearDown() override {
        if (TaskbarProgress) TaskbarProgress->Free();
        TaskbarProgress = nullptr;
    }

    static const unsigned char* Bytes(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }
    static sim::MenuEntry Item(int item) {
        for (const auto& title : sim::Menu(MainMenu))
            for (const auto& entry : title.entries)
                if (entry.item == item) return entry;
        ADD_FAILURE() << "no menu item " << item;
        return {};
    }
    static bool MenuItemDisabled(int item) { return Item(item).disabled; }
    static bool OffersInstall() {
        EXPECT_NE(MenuItemDisabled(MenuInstallHfsDrivers), MenuItemDisabled(MenuUninstallHfsDrivers));
        return !MenuItemDisabled(MenuInstallHfsDrivers);
    }
    static std::string FixtureDriver(const char* arch, const char* file) {
        return std::string("Stand-in for the ") + arch + " " + file + " of Boot Camp, for the tests only.\n";
    }
    static void ExpectNoServices() {
        EXPECT_FALSE(sim::RegistryHasKey(AppleHfsServiceKey));
        EXPECT_FALSE(sim::RegistryHasKey(AppleMntServiceKey));
    }
    static std::vector<std::string> Texts() {
        std::vector<std::string> texts;
        for (const auto& m : sim::Messages()) texts.push_back(m.text);
        return texts;
    }

    std::string x86_, x64_;
    HfsDriverPackages packages_;
};

TEST_F(HfsDrivers, InstallRegistersBothServicesAndCopiesTheDriversOfThisWindows) {
    struct Case {
        bool windows64, process64;
        const char* folder;
        const char* arch;
    };
    // A 32-bit program on 64-bit Windows must reach the real System32 through Sysnative.
    const Case cases[] = {
        {false, false, "C:\\Windows\\system32\\drivers\\", "x86"},
        {true, false, "C:\\Windows\\Sysnative\\drivers\\", "x64"},
        {true, true, "C:\\Windows\\system32\\drivers\\", "x64"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder + std::string(" ") + c.arch);
        SetUp();
        sim::SetWindowsBitness(c.windows64, c.process64);
        ASSERT_TRUE(OffersInstall());
        EXPECT_EQ(HfsDriversFolder(), c.folder);
        ASSERT_TRUE(InstallHfsDrivers(packages_));

        using V = sim::RegistryValue;
        struct Value {
            const std::string& key;
            const char* name;
            V value;
        };
        const Value values[] = {
            {AppleHfsServiceKey, "Type", V{true, 2, ""}},     {AppleHfsServiceKey, "ErrorControl", V{true, 1, ""}},
            {AppleHfsServiceKey, "Start", V{true, 0, ""}},    {AppleHfsServiceKey, "Group", V{false, 0, "File System"}},
            {AppleMntServiceKey, "Group", V{false, 0, "System Bus Extender"}},
            {AppleMntServiceKey, "Type", V{true, 1, ""}},     {AppleMntServiceKey, "ErrorControl", V{true, 1, ""}},
            {AppleMntServiceKey, "Start", V{true, 0, ""}},
        };
        for (const Value& v : values) {
            auto got = sim::RegistryGet(v.key, v.name);
            ASSERT_TRUE(got) << v.key << " " << v.name;
            EXPECT_EQ(got->isDword, v.value.isDword) << v.name;
            EXPECT_EQ(got->dword, v.value.dword) << v.name;
            EXPECT_EQ(got->text, v.value.text) << v.name;
        }
        for (const char* file : {"AppleHFS.sys", "AppleMNT.sys"})
            EXPECT_EQ(ReadHost(c.folder + std::string(file)), FixtureDriver(c.arch, file));
        if (std::string(c.folder) != kSystemDrivers) {
            EXPECT_FALSE(plat::FolderExists(kSystemDrivers));
        }
        ASSERT_EQ(sim::Messages().size(), 2u);
        EXPECT_EQ(sim::Messages()[0].title, "Boot Camp HFS+ ReadOnly drivers");
        EXPECT_EQ(sim::Messages()[1].title, "WARNING");
        EXPECT_EQ(sim::Messages()[1].text, "To complete the install HFS+ drivers, you need to restart the computer.");
        EXPECT_FALSE(OffersInstall());
    }
}

TEST_F(HfsDrivers, CancelledOrImpossibleInstallWritesNothing) {
    struct Case {
        const char* what;
        bool cancel, carried, systemFolder;
        bool result;
        size_t boxes;
    };
    const Case cases[] = {
        {"cancelled", true, true, true, true, 1},
        {"build without drivers", false, false, true, false, 1},
        {"no system folder", false, true, false, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        if (c.cancel) sim::AnswerNextMessages({plat::IdCancel});
        if (!c.systemFolder) sim::SetSystemDirectory("");
        EXPECT_EQ(InstallHfsDrivers(c.carried ? packages_ : HfsDriverPackages{}), c.result);
        ExpectNoServices();
        EXPECT_FALSE(plat::FolderExists(kSystemDrivers));
        // A build without drivers greys "Install" out and says why.
        EXPECT_EQ(MenuItemDisabled(MenuInstallHfsDrivers), !c.carried);
        EXPECT_TRUE(MenuItemDisabled(MenuUninstallHfsDrivers));
        EXPECT_EQ(Item(MenuInstallHfsDrivers).toolTip,
                  c.carried ? "" : "This copy of Velloran Utility carries no HFS+ drivers for this Windows.");
        ASSERT_EQ(sim::Messages().size(), c.boxes);
        EXPECT_EQ(sim::Messages()[0].title, c.cancel ? "Boot Camp HFS+ ReadOnly drivers" : "Error");
    }
}

TEST_F(HfsDrivers, FailedExtractionRemovesTheServiceKeysItCreated) {
    for (bool installedBefore : {false, true}) {
        SCOPED_TRACE(installedBefore ? "over an earlier install" : "fresh");
        SetUp();
        if (installedBefore) {
            ASSERT_TRUE(InstallHfsDrivers(packages_));
        }
        // A folder in the way of one driver file: the extraction cannot write it.
        plat::DeleteFile(kSystemDrivers + "AppleMNT.sys");
        ASSERT_TRUE(CreateDirectoryTree(kSystemDrivers + "AppleMNT.sys"));
        EXPECT_FALSE(InstallHfsDrivers(packages_));
        EXPECT_EQ(Texts().back(), "Failed to install HFS+ drivers.");
        EXPECT_EQ(sim::Messages().back().title, "Error");
        // Keys an earlier install made stay: they are that install's, not this run's.
        EXPECT_EQ(sim::RegistryHasKey(AppleHfsServiceKey), installedBefore);
        EXPECT_EQ(sim::RegistryHasKey(AppleMntServiceKey), installedBefore);
        EXPECT_EQ(OffersInstall(), !installedBefore);
    }
}

TEST_F(HfsDrivers, RemoveSucceedsOnlyWhenBothKeysWereDeleted) {
    ASSERT_TRUE(InstallHfsDrivers(packages_));
    EXPECT_TRUE(RemoveHfsDrivers(packages_));
    EXPECT_EQ(Texts().back(), "To complete the remove HFS drivers, you need to restart the computer.");
    ExpectNoServices();
    EXPECT_FALSE(plat::FileExists(kSystemDrivers + "AppleHFS.sys"));
    EXPECT_TRUE(OffersInstall());

    // Only the AppleHFS key left: it and both files are deleted, and the run reports failure.
    ASSERT_TRUE(InstallHfsDrivers(packages_));
    sim::RegistryPut(AppleHfsServiceKey + "\\Enum", "Count", {true, 1, ""});  // as Windows adds it
    ASSERT_TRUE(plat::RegistryDeleteKey(AppleMntServiceKey));
    EXPECT_FALSE(RemoveHfsDrivers(packages_));
    EXPECT_EQ(Texts().back(), "Failed to remove HFS+ drivers.");
    ExpectNoServices();
    EXPECT_FALSE(sim::RegistryHasKey(AppleHfsServiceKey + "\\Enum"));
    EXPECT_FALSE(plat::FileExists(kSystemDrivers + "AppleHFS.sys"));
    EXPECT_FALSE(plat::FileExists(kSystemDrivers + "AppleMNT.sys"));
    EXPECT_TRUE(OffersInstall());
}

TEST_F(HfsDrivers, MenuCountsADriverInstalledOnlyWithItsFileAndItsOwnKey) {
    struct Case {
        bool hfsFile, hfsKey, mntFile, mntKey, installed;
    };
    const Case cases[] = {
        {true, true, true, true, true},   {true, true, false, false, true},  {false, false, true, true, true},
        {false, true, false, true, false}, {true, false, false, true, false}, {false, false, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.hfsFile << c.hfsKey << c.mntFile << c.mntKey);
        SetUp();
        ASSERT_TRUE(CreateDirectoryTree(kSystemDrivers));
        if (c.hfsFile) plat::WriteWholeFile(kSystemDrivers + "AppleHFS.sys", "x");
        if (c.mntFile) plat::WriteWholeFile(kSystemDrivers + "AppleMNT.sys", "x");
        if (c.hfsKey) sim::RegistryPutKey(AppleHfsServiceKey);
        if (c.mntKey) sim::RegistryPutKey(AppleMntServiceKey);
        UpdateHfsDriverMenu(packages_);
        EXPECT_EQ(OffersInstall(), !c.installed);
    }
}

}  // namespace
}  // namespace vu
