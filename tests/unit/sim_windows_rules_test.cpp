// The rules of Windows that the simulated PC keeps, so that a program breaking them fails here as
// it would there: the layout requests of GPT disks and raw writes into mounted volumes (the
// extents of spanned volumes are read by the system-drive tests).
#include <gtest/gtest.h>

#include <cstring>

#include "platform/device_layouts.h"
#include "platform/disk_device.h"
#include "unit/disk_scenario.h"

namespace vu {
namespace {

const std::string kEfiType = "C12A7328-F81F-11D2-BA4B-00A0C93EC93B";
const std::string kHfsType = "48465300-0000-11AA-AA11-00306543ECAC";

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
    uint32_t v;
    std::memcpy(&v, &b[at], 4);
    return v;
}

class WindowsRules : public ::testing::Test {
protected:
    void SetUp() override { sim::Reset(); }

    // A stick as a Mac leaves it: an EFI System partition with FAT32 (E:) and an HFS+ one (F:).
    std::string LoadMacStick(const std::string& extra = "") {
        std::string image = test::BlankImage(folder, "mac.img", 300);
        test::LoadPcText(folder, "[disk 1]\nimage = " + image + "\nbus = 7\ngpt = first-lba: 34; start=40, " +
                                     "size=409600, type=" + kEfiType + "; start=409640, type=" + kHfsType +
                                     "\nletters = E:1 F:2\n" + extra);
        test::FormatFat(image, 32, 40, 409600, "EFI");
        return image;
    }

    // Asks `code` of the device with a buffer of `size` bytes; false (and the error) when it fails.
    bool Ask(const std::string& path, uint32_t code, std::vector<uint8_t>& out, uint32_t size, uint32_t* error) {
        plat::DeviceHandle device = plat::OpenDevice(path, false);
        EXPECT_NE(device, plat::NoDevice) << path;
        out.assign(size, 0);
        bool ok = plat::DeviceControl(device, code, nullptr, 0, out.data(), size);
        *error = ok ? 0 : plat::LastDeviceError();
        plat::CloseDevice(device);
        return ok;
    }

    // A raw write of one sector through `path` at byte `offset`, with the handles of `held` open
    // and locked; the write's result.
    bool WriteWith(const std::string& path, int64_t offset, const std::vector<std::string>& held, bool dismount) {
        std::vector<plat::DeviceHandle> locks;
        for (const auto& volume : held) {
            plat::DeviceHandle h = plat::OpenDevice(volume, false);
            EXPECT_TRUE(plat::DeviceControl(h, FsctlLockVolume, nullptr, 0, nullptr, 0));
            if (dismount) {
                EXPECT_TRUE(plat::DeviceControl(h, FsctlDismountVolume, nullptr, 0, nullptr, 0));
            }
            locks.push_back(h);
        }
        plat::DeviceHandle device = plat::OpenDevice(path, true);
        std::vector<uint8_t> zero(512, 0);
        bool written = plat::SeekDevice(device, offset) && plat::WriteDevice(device, zero.data(), 512) == 512;
        if (!written) {
            EXPECT_EQ(plat::LastDeviceError(), ErrorAccessDenied);
        }
        plat::CloseDevice(device);
        for (auto h : locks) plat::CloseDevice(h);
        return written;
    }

    test::ScratchFolder folder;
};

// The described GPT is one sfdisk reads; the request that predates GPT fails on it, the new one
// reports it (its fields are read back by the inventory's tests).
TEST_F(WindowsRules, AGptDescribedForADiskIsARealGptThatOnlyTheNewLayoutRequestReports) {
    std::string image = LoadMacStick();
    std::string dump = test::Capture("sfdisk --dump '" + image + "'");
    EXPECT_NE(dump.find("label: gpt"), std::string::npos) << dump;
    EXPECT_NE(dump.find("start=          40, size=      409600, type=" + kEfiType), std::string::npos) << dump;

    std::vector<uint8_t> out;
    uint32_t error;
    EXPECT_FALSE(Ask("\\\\.\\PHYSICALDRIVE1", IoctlDiskGetDriveLayout, out, DriveLayoutBufferSize, &error));
    ASSERT_TRUE(Ask("\\\\.\\PHYSICALDRIVE1", IoctlDiskGetDriveLayoutEx, out, 4096, &error));
    EXPECT_EQ(U32(out, 0), uint32_t(PartitionStyleGpt));
    EXPECT_EQ(U32(out, 4), 2u);
}

TEST_F(WindowsRules, RawWritesIntoAMountedVolumeNeedItsLockHeldByAnOpenHandle) {
    LoadMacStick();
    const std::string disk = "\\\\.\\PHYSICALDRIVE1", efi = "\\\\.\\E:", hfs = "\\\\.\\F:";
    const int64_t inEfi = 100 * 512, inHfs = 409700 * 512LL;
    struct Case {
        const char* what;
        std::string path;
        int64_t offset;
        std::vector<std::string> held;
        bool dismount, allowed;
    } cases[] = {
        {"the gap before the first partition, outside every volume", disk, 35 * 512, {}, false, true},
        {"into the mounted FAT32 volume", disk, inEfi, {}, false, false},
        {"into it through its own volume handle", efi, 4096, {}, false, false},
        {"into it while it is locked", disk, inEfi, {efi}, false, true},
        {"into it while it is locked and dismounted", disk, inEfi, {efi}, true, true},
        {"into another volume than the locked one", disk, inEfi, {hfs}, true, false},
        {"into a volume without a file system Windows knows", disk, inHfs, {}, false, true},
    };
    for (const auto& c : cases) EXPECT_EQ(WriteWith(c.path, c.offset, c.held, c.dismount), c.allowed) << c.what;

    // The old order: locked, dismounted, closed. The shell looks at the volume once nothing holds
    // it and mounts it again, so the write that follows is refused.
    plat::DeviceHandle h = plat::OpenDevice(efi, false);
    ASSERT_TRUE(plat::DeviceControl(h, FsctlLockVolume, nullptr, 0, nullptr, 0));
    ASSERT_TRUE(plat::DeviceControl(h, FsctlDismountVolume, nullptr, 0, nullptr, 0));
    ASSERT_TRUE(plat::DeviceControl(h, FsctlUnlockVolume, nullptr, 0, nullptr, 0));
    EXPECT_FALSE(WriteWith(disk, inEfi, {}, false)) << "dismounted, unlocked, still open";
    plat::CloseDevice(h);
    EXPECT_FALSE(WriteWith(disk, inEfi, {}, false)) << "dismounted and closed";
    auto log = sim::DeviceLog();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], "write \\\\.\\PHYSICALDRIVE1 at 51200 length 512 denied");
}

}  // namespace
}  // namespace vu
