// The simulated PC's volume sync: what the program writes through the file API onto a letter the
// simulated formatter made reaches the file system inside the disk image. Read back with tools
// that share no code with the sync (fsck, mtools, exfat-fuse read-only).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <set>

#include "platform/device_layouts.h"
#include "platform/disk_device.h"
#include "platform/files.h"
#include "platform/formatter.h"
#include "platform/sim/sim_exfat_walk.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_volume_sync.h"
#include "platform/volumes.h"
#include "unit/disk_scenario.h"

namespace fs = std::filesystem;

namespace vu {
namespace {

constexpr int64_t VolumeSectors = 81920;  // 40 MiB, lettered E:
constexpr int64_t OtherStart = 90112, OtherSectors = 40960;  // FAT16 made by the test, lettered F:

// A command's standard output and its exit code.
std::string Output(const std::string& command, int* code = nullptr) {
    std::string text;
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe) return text;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
    int status = pclose(pipe);
    if (code) *code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return text;
}

std::string Bytes(size_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    for (auto& b : bytes) {
        seed = seed * 1103515245u + 12345u;
        b = char(seed >> 16);
    }
    return bytes;
}

std::string ReadHost(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes(fs::file_size(path), '\0');
    in.read(bytes.data(), std::streamsize(bytes.size()));
    return bytes;
}

// A file system's tree: "EFI/CLOVER" -> "<folder>", a file -> its contents.
using Tree = std::map<std::string, std::string>;
constexpr char FolderMark[] = "<folder>";

Tree TreeOf(const std::string& root) {
    Tree tree;
    for (auto& e : fs::recursive_directory_iterator(root)) {
        std::string path = fs::relative(e.path(), root).string();
        tree[path] = e.is_directory() ? FolderMark : ReadHost(e.path());
    }
    return tree;
}

// Only the names and sizes, for readable failure messages about a big tree.
std::map<std::string, size_t> Shape(const Tree& tree) {
    std::map<std::string, size_t> shape;
    for (const auto& [path, contents] : tree) shape[path] = contents == FolderMark ? size_t(-1) : contents.size();
    return shape;
}

// A file attached to a loop device and mounted with exfat-fuse for as long as the object lives,
// whatever assertion ends the test early.
class ExFatMount {
public:
    ExFatMount(const std::string& file, const std::string& mountPoint, bool readOnly) : mountPoint_(mountPoint) {
        device_ = Output("losetup " + std::string(readOnly ? "-r " : "") + "-f --show '" + file + "'");
        while (!device_.empty() && device_.back() == '\n') device_.pop_back();
        if (device_.rfind("/dev/loop", 0) != 0) {
            device_.clear();
            return;
        }
        fs::create_directories(mountPoint);
        mounted_ = test::Shell("mount.exfat-fuse " + std::string(readOnly ? "-o ro " : "") + device_ + " '" +
                               mountPoint + "'") == 0;
    }
    ~ExFatMount() { EXPECT_TRUE(Release()); }
    bool Mounted() const { return mounted_; }
    // Unmounts and detaches; false when either failed.
    bool Release() {
        bool ok = true;
        if (mounted_) ok = test::Shell("umount '" + mountPoint_ + "'") == 0;
        mounted_ = false;
        if (!device_.empty()) ok = test::Shell("losetup -d " + device_) == 0 && ok;
        device_.clear();
        return ok;
    }

private:
    std::string mountPoint_, device_;
    bool mounted_ = false;
};

struct Case {
    const char* fileSystem;
    int64_t start;
};

class VolumeSync : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        exFat_ = std::string(GetParam().fileSystem) == "exFAT";
        if (exFat_ && (geteuid() != 0 || access("/dev/fuse", R_OK | W_OK) != 0))
            GTEST_SKIP() << "the exFAT sync mounts with exfat-fuse over a loop device: needs root and /dev/fuse";
        sim::Reset();
        image_ = test::BlankImage(folder_, "stick.img", 64);
        test::Partition(image_, "start=" + std::to_string(GetParam().start) + ", size=" + std::to_string(VolumeSectors) +
                                    ", type=" + (exFat_ ? "7" : "c") + "\nstart=" + std::to_string(OtherStart) +
                                    ", size=" + std::to_string(OtherSectors) + ", type=6\n");
        test::FormatFat(image_, 16, OtherStart, OtherSectors, "OTHER");
        LoadStick();
    }
    void TearDown() override { sim::Reset(); }

    void LoadStick() {
        test::LoadPcText(folder_, "[disk 1]\nimage = " + image_ + "\nbus = 7\ndrive-type = 2\nletters = E:1 F:2\n");
    }

    // The simulated formatter's file system on E:; true when it reported success.
    bool Format() {
        static int completed;
        completed = -1;
        auto report = [](uint32_t command, uint32_t, void* argument) {
            if (command == 11) completed = *static_cast<uint32_t*>(argument) != 0;
            return int32_t(1);
        };
        plat::RunFormatter("E:", plat::FormatMediaRemovable, GetParam().fileSystem, "CLOVER", true, 0, report);
        return completed == 1;
    }

    int64_t Offset() const { return GetParam().start * 512; }

    // The volume's bytes in a file of their own, for fsck and the read-only mount.
    std::string PartitionCopy(int64_t start = -1, int64_t sectors = VolumeSectors) {
        std::string part = folder_.File("part.img");
        fs::remove(part);
        EXPECT_EQ(test::Shell("dd if='" + image_ + "' of='" + part + "' bs=512 skip=" +
                              std::to_string(start < 0 ? GetParam().start : start) + " count=" + std::to_string(sectors)),
                  0);
        return part;
    }

    bool FsckClean() {
        std::string part = PartitionCopy();
        int code = test::Shell(std::string(exFat_ ? "fsck.exfat" : "fsck.fat") + " -n '" + part + "'");
        return code == 0;
    }

    // The tree in the image and the paths that carry the hidden attribute.
    void ReadBack(Tree& tree, std::set<std::string>& hidden) {
        std::string out = folder_.File("out");
        fs::remove_all(out);
        fs::create_directories(out);
        hidden.clear();
        tree.clear();
        if (exFat_) {
            std::string mount = folder_.File("mnt");
            ExFatMount mounted(PartitionCopy(), mount, true);
            ASSERT_TRUE(mounted.Mounted());
            fs::copy(mount, out, fs::copy_options::recursive);
            ASSERT_TRUE(mounted.Release());
            std::vector<sim::detail::ExFatEntry> entries;
            std::string error;
            ASSERT_TRUE(sim::detail::ListExFat(image_, Offset(), entries, &error)) << error;
            for (const auto& e : entries)
                if (e.attributes & sim::detail::ExFatHidden) hidden.insert(e.path);
        } else {
            std::string drive = "MTOOLS_SKIP_CHECK=1 ";
            std::string at = " -i '" + image_ + "@@" + std::to_string(Offset()) + "' ";
            int code = 0;
            std::string root = Output(drive + "mdir -a" + at + "::/", &code);
            ASSERT_EQ(code, 0);
            if (root.find("No files") != std::string::npos) return;  // mattrib fails on an empty root
            std::string listing = Output(drive + "mattrib -/" + at + "::/", &code);
            ASSERT_EQ(code, 0);
            bool any = false;
            for (size_t line = 0; line < listing.size();) {
                size_t end = listing.find('\n', line);
                std::string text = listing.substr(line, end - line);
                line = end == std::string::npos ? listing.size() : end + 1;
                size_t name = text.find("::/");
                if (name == std::string::npos) continue;
                any = true;
                if (text.substr(0, name).find('H') != std::string::npos) hidden.insert(text.substr(name + 3));
            }
            if (any) {
                ASSERT_EQ(test::Shell(drive + "mcopy -s -n" + at + "'::/*' '" + out + "'"), 0);
            }
        }
        tree = TreeOf(out);
    }

    // Writes the data set of a prepared drive: nested folders, a big file written in pieces, an
    // empty file, many small files (a folder of several clusters), a hidden file and a hidden
    // folder with a file in it.
    void WriteDataSet() {
        ASSERT_TRUE(plat::CreateFolder("E:\\EFI"));
        ASSERT_TRUE(plat::CreateFolder("E:\\EFI\\CLOVER"));
        ASSERT_TRUE(plat::CreateFolder("E:\\EFI\\CLOVER\\kexts"));
        ASSERT_TRUE(plat::WriteWholeFile("E:\\EFI\\CLOVER\\config.plist", "<plist version=\"1.0\"><dict/></plist>\n"));
        for (int i = 0; i < 60; ++i)
            ASSERT_TRUE(plat::WriteWholeFile("E:\\EFI\\CLOVER\\kexts\\Driver " + std::to_string(i) + ".kext",
                                             Bytes(size_t(100 + i), uint32_t(i))));
        plat::FileHandle big = plat::OpenFile("E:\\EFI\\CLOVER\\CLOVERX64.efi", plat::FileMode::Create);
        ASSERT_NE(big, 0);
        std::string bytes = Bytes(3 << 20, 7);
        for (size_t at = 0; at < bytes.size(); at += 65536)
            ASSERT_EQ(plat::WriteFileData(big, bytes.data() + at, 65536), 65536);
        plat::CloseFile(big);
        for (int i = 60; i < 120; ++i)
            ASSERT_TRUE(plat::WriteWholeFile("E:\\EFI\\CLOVER\\kexts\\Driver " + std::to_string(i) + ".kext",
                                             Bytes(size_t(100 + i), uint32_t(i))));
        ASSERT_TRUE(plat::WriteWholeFile("E:\\EFI\\CLOVER\\empty.txt", ""));
        ASSERT_TRUE(plat::WriteWholeFile("E:\\.metadata_never_index", ""));
        ASSERT_TRUE(plat::SetHidden("E:\\.metadata_never_index", true));
        ASSERT_TRUE(plat::CreateFolder("E:\\.fseventsd"));
        ASSERT_TRUE(plat::WriteWholeFile("E:\\.fseventsd\\no_log", ""));
        ASSERT_TRUE(plat::SetHidden("E:\\.fseventsd", true));
        ASSERT_TRUE(plat::SetHidden("E:\\EFI\\CLOVER\\kexts\\Driver 119.kext", true));
    }

    // The image holds exactly E:'s folder, with `expectedHidden` hidden, and passes fsck.
    void ExpectImageMirrorsFolder(const std::set<std::string>& expectedHidden) {
        Tree tree;
        std::set<std::string> hidden;
        ASSERT_NO_FATAL_FAILURE(ReadBack(tree, hidden));
        Tree folder = TreeOf(sim::DriveRoot('E'));
        EXPECT_EQ(Shape(tree), Shape(folder));
        EXPECT_TRUE(tree == folder) << "contents differ";
        EXPECT_EQ(hidden, expectedHidden);
        EXPECT_TRUE(FsckClean());
    }

    test::ScratchFolder folder_;
    std::string image_;
    bool exFat_ = false;
};

TEST_P(VolumeSync, TheDataSetReachesTheImageWithContentsAndHiddenAttributes) {
    ASSERT_TRUE(plat::WriteWholeFile("E:\\stale.txt", "from before the format"));
    ASSERT_TRUE(Format());
    EXPECT_FALSE(plat::FileExists("E:\\stale.txt")) << "a fresh volume is empty";
    ASSERT_NO_FATAL_FAILURE(WriteDataSet());
    std::string reason;
    ASSERT_TRUE(sim::SyncVolumes(&reason)) << reason;

    Tree tree;
    std::set<std::string> hidden;
    ASSERT_NO_FATAL_FAILURE(ReadBack(tree, hidden));
    EXPECT_EQ(tree["EFI/CLOVER/config.plist"], "<plist version=\"1.0\"><dict/></plist>\n");
    EXPECT_TRUE(tree["EFI/CLOVER/CLOVERX64.efi"] == Bytes(3 << 20, 7));
    EXPECT_EQ(tree.count("EFI/CLOVER/empty.txt"), 1u);
    EXPECT_EQ(tree[".fseventsd/no_log"], "");
    EXPECT_EQ(tree.count("stale.txt"), 0u);
    ASSERT_NO_FATAL_FAILURE(
        ExpectImageMirrorsFolder({".metadata_never_index", ".fseventsd", "EFI/CLOVER/kexts/Driver 119.kext"}));
}

TEST_P(VolumeSync, ALaterSyncRemovesDeletedEntriesAndKeepsTheRest) {
    ASSERT_TRUE(Format());
    ASSERT_NO_FATAL_FAILURE(WriteDataSet());
    ASSERT_TRUE(sim::SyncVolumes());
    ASSERT_TRUE(plat::DeleteFile("E:\\EFI\\CLOVER\\config.plist"));
    ASSERT_TRUE(plat::DeleteTree("E:\\.fseventsd"));
    ASSERT_TRUE(plat::SetHidden("E:\\EFI\\CLOVER\\kexts\\Driver 119.kext", false));
    ASSERT_TRUE(plat::WriteWholeFile("E:\\EFI\\CLOVER\\config-new.plist", "new"));
    std::string reason;
    ASSERT_TRUE(sim::SyncVolumes(&reason)) << reason;

    Tree tree;
    std::set<std::string> hidden;
    ASSERT_NO_FATAL_FAILURE(ReadBack(tree, hidden));
    EXPECT_EQ(tree.count("EFI/CLOVER/config.plist"), 0u);
    EXPECT_EQ(tree.count(".fseventsd"), 0u);
    EXPECT_EQ(tree["EFI/CLOVER/config-new.plist"], "new");
    ASSERT_NO_FATAL_FAILURE(ExpectImageMirrorsFolder({".metadata_never_index"}));
}

TEST_P(VolumeSync, DismountAndEjectWriteTheChangedVolume) {
    ASSERT_TRUE(Format());
    ASSERT_TRUE(plat::WriteWholeFile("E:\\before-dismount.txt", "one"));
    plat::DeviceHandle volume = plat::OpenDevice("\\\\.\\E:", true);
    ASSERT_NE(volume, plat::NoDevice);
    ASSERT_TRUE(plat::DeviceControl(volume, FsctlDismountVolume, nullptr, 0, nullptr, 0));
    plat::CloseDevice(volume);
    Tree tree;
    std::set<std::string> hidden;
    ASSERT_NO_FATAL_FAILURE(ReadBack(tree, hidden));
    EXPECT_EQ(tree["before-dismount.txt"], "one");

    ASSERT_TRUE(plat::WriteWholeFile("E:\\before-eject.txt", "two"));
    ASSERT_TRUE(plat::SetHidden("E:\\before-eject.txt", true));
    plat::SetupApi* api = plat::LoadSetupApi();
    ASSERT_NE(api, nullptr);
    EXPECT_EQ(plat::RequestDeviceEject(api, 2001), 0u);
    plat::UnloadSetupApi(api);
    ASSERT_NO_FATAL_FAILURE(ExpectImageMirrorsFolder({"before-eject.txt"}));
    std::string reason;
    EXPECT_TRUE(sim::SyncVolumes(&reason)) << reason;
}

// A file open for writing while a sync runs reaches the image whole after it is closed.
TEST_P(VolumeSync, AFileWrittenAcrossASyncIsWrittenWholeOnceClosed) {
    ASSERT_TRUE(Format());
    plat::FileHandle file = plat::OpenFile("E:\\growing.bin", plat::FileMode::Create);
    ASSERT_NE(file, 0);
    std::string bytes = Bytes(200000, 3);
    ASSERT_EQ(plat::WriteFileData(file, bytes.data(), 100000), 100000);
    ASSERT_TRUE(sim::SyncVolumes());
    ASSERT_EQ(plat::WriteFileData(file, bytes.data() + 100000, 100000), 100000);
    plat::CloseFile(file);
    std::string reason;
    ASSERT_TRUE(sim::SyncVolumes(&reason)) << reason;
    Tree tree;
    std::set<std::string> hidden;
    ASSERT_NO_FATAL_FAILURE(ReadBack(tree, hidden));
    EXPECT_EQ(tree["growing.bin"].size(), bytes.size());
    EXPECT_TRUE(tree["growing.bin"] == bytes);
}

// Only changes are written: a dismount with nothing changed leaves the image as it is, even when
// the image no longer matches the folder.
TEST_P(VolumeSync, ADismountWithoutChangesDoesNotWrite) {
    ASSERT_TRUE(Format());
    ASSERT_TRUE(plat::WriteWholeFile("E:\\kept.txt", "kept"));
    ASSERT_TRUE(sim::SyncVolumes());
    ASSERT_TRUE(Format());  // empties the image; E:'s folder too, so put the file back behind its back
    std::ofstream(sim::DriveRoot('E') + "/kept.txt") << "kept";
    plat::DeviceHandle volume = plat::OpenDevice("\\\\.\\E:", true);
    ASSERT_TRUE(plat::DeviceControl(volume, FsctlDismountVolume, nullptr, 0, nullptr, 0));
    plat::CloseDevice(volume);
    Tree tree;
    std::set<std::string> hidden;
    ASSERT_NO_FATAL_FAILURE(ReadBack(tree, hidden));
    EXPECT_TRUE(tree.empty()) << tree.begin()->first;
}

TEST_P(VolumeSync, LettersNotFormattedHereAreNeverWritten) {
    std::string before = ReadHost(image_);
    ASSERT_TRUE(plat::WriteWholeFile("F:\\note.txt", "stays on the host"));
    ASSERT_TRUE(plat::WriteWholeFile("E:\\note.txt", "stays on the host"));
    EXPECT_TRUE(sim::SyncVolumes());
    EXPECT_TRUE(ReadHost(image_) == before);

    // A reset ends the backing: the same PC loaded again, E: is a plain folder once more.
    ASSERT_TRUE(Format());
    sim::Reset();
    LoadStick();
    before = ReadHost(image_);
    ASSERT_TRUE(plat::WriteWholeFile("E:\\after-reset.txt", "stays on the host"));
    EXPECT_TRUE(sim::SyncVolumes());
    EXPECT_TRUE(ReadHost(image_) == before);
}

// A volume the tools cannot read fails the sync, and says which letter; a failure at a dismount
// is reported by the next SyncVolumes, and the letter is tried again.
TEST_P(VolumeSync, AFailedSyncIsReportedWithItsLetter) {
    ASSERT_TRUE(Format());
    std::string boot = ReadHost(image_).substr(size_t(Offset()), 512);
    {
        std::fstream out(image_, std::ios::in | std::ios::out | std::ios::binary);
        out.seekp(Offset());
        out.write(std::string(512, '\0').data(), 512);
    }
    ASSERT_TRUE(plat::WriteWholeFile("E:\\a.txt", "a"));
    plat::DeviceHandle volume = plat::OpenDevice("\\\\.\\E:", true);
    ASSERT_TRUE(plat::DeviceControl(volume, FsctlDismountVolume, nullptr, 0, nullptr, 0));
    plat::CloseDevice(volume);
    std::string reason;
    EXPECT_FALSE(sim::SyncVolumes(&reason));
    EXPECT_EQ(reason.rfind("E: ", 0), 0u) << reason;
    EXPECT_NE(reason.find("; E: "), std::string::npos) << "the dismount's failure and the retry: " << reason;

    {
        std::fstream out(image_, std::ios::in | std::ios::out | std::ios::binary);
        out.seekp(Offset());
        out.write(boot.data(), 512);
    }
    EXPECT_TRUE(sim::SyncVolumes(&reason)) << reason;
    Tree tree;
    std::set<std::string> hidden;
    ASSERT_NO_FATAL_FAILURE(ReadBack(tree, hidden));
    EXPECT_EQ(tree["a.txt"], "a");
}

// The walker that sets the hidden attribute the FUSE driver cannot: fsck.exfat, which checks the
// set checksums, must find the result clean, and would not had the checksum been left alone.
TEST(ExFatWalk, HidingRenewsTheSetChecksumAndFindsNestedEntries) {
    if (geteuid() != 0 || access("/dev/fuse", R_OK | W_OK) != 0) GTEST_SKIP() << "needs root and /dev/fuse";
    test::ScratchFolder folder;
    std::string part = test::BlankImage(folder, "part.img", 32);
    ASSERT_EQ(test::Shell("mkfs.exfat '" + part + "'"), 0);
    {
        std::string mount = folder.File("mnt");
        ExFatMount mounted(part, mount, false);
        ASSERT_TRUE(mounted.Mounted());
        fs::create_directories(mount + "/Folder/Inner");
        std::ofstream(mount + "/Folder/Inner/deep.txt") << "deep";
        std::ofstream(mount + "/top.txt") << "top";
        ASSERT_TRUE(mounted.Release());
    }
    ASSERT_EQ(test::Shell("fsck.exfat -n '" + part + "'"), 0);

    // The attribute changed by hand, the checksum not: fsck objects.
    std::string bytes = ReadHost(part);
    const std::string name("t\0o\0p\0.\0t\0x\0t\0", 14);
    size_t nameAt = bytes.find(name);
    ASSERT_NE(nameAt, std::string::npos);
    size_t fileEntry = nameAt - 2 - 64;
    ASSERT_EQ(uint8_t(bytes[fileEntry]), 0x85);
    {
        std::fstream out(part, std::ios::in | std::ios::out | std::ios::binary);
        out.seekp(std::streamoff(fileEntry + 4));
        out.put(char(bytes[fileEntry + 4] | sim::detail::ExFatHidden));
    }
    EXPECT_NE(test::Shell("fsck.exfat -n '" + part + "'"), 0);
    std::ofstream(part, std::ios::in | std::ios::out | std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));

    std::string error;
    ASSERT_TRUE(sim::detail::HideInExFat(part, 0, {"top.txt", "Folder/Inner/deep.txt"}, &error)) << error;
    EXPECT_EQ(test::Shell("fsck.exfat -n '" + part + "'"), 0);
    std::vector<sim::detail::ExFatEntry> entries;
    ASSERT_TRUE(sim::detail::ListExFat(part, 0, entries, &error)) << error;
    std::map<std::string, uint16_t> attributes;
    for (const auto& e : entries) attributes[e.path] = e.attributes;
    EXPECT_EQ(attributes.size(), 4u);
    EXPECT_EQ(attributes["top.txt"] & sim::detail::ExFatHidden, sim::detail::ExFatHidden);
    EXPECT_EQ(attributes["Folder/Inner/deep.txt"] & sim::detail::ExFatHidden, sim::detail::ExFatHidden);
    EXPECT_EQ(attributes["Folder/Inner"] & (sim::detail::ExFatDirectory | sim::detail::ExFatHidden), sim::detail::ExFatDirectory);
    EXPECT_EQ(attributes["Folder"] & (sim::detail::ExFatDirectory | sim::detail::ExFatHidden), sim::detail::ExFatDirectory);

    EXPECT_FALSE(sim::detail::HideInExFat(part, 0, {"Folder/missing.txt"}, &error));
    EXPECT_NE(error.find("Folder/missing.txt"), std::string::npos) << error;
    EXPECT_FALSE(sim::detail::ListExFat(folder.File("nothing"), 0, entries, &error));
}

INSTANTIATE_TEST_SUITE_P(, VolumeSync,
                         ::testing::Values(Case{"FAT32", 2048}, Case{"FAT32", 63}, Case{"exFAT", 63},
                                           Case{"exFAT", 2048}),
                         [](const auto& info) {
                             return std::string(info.param.fileSystem) + "At" + std::to_string(info.param.start);
                         });

}  // namespace
}  // namespace vu
