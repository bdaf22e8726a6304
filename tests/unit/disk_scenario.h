// Helpers of the disk tests: image files built with the Linux tools (sfdisk, mkfs.fat,
// mkfs.exfat, mkntfs) in a temporary folder, and simulated PCs described over them.
#pragma once
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/sim/sim.h"
#include "platform/sim/sim_disks.h"

namespace vu::test {

class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& base = std::filesystem::temp_directory_path().string()) {
        std::string pattern = base + "/vu-disks-XXXXXX";
        path_ = mkdtemp(pattern.data());
    }
    ~ScratchFolder() { std::filesystem::remove_all(path_); }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline int Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

// What a command prints, standard error included.
inline std::string Capture(const std::string& command) {
    std::string out;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    pclose(pipe);
    return out;
}

// `length` bytes of a file from `offset` (zeros past its end).
inline std::vector<uint8_t> ReadBytes(const std::string& file, int64_t offset, size_t length) {
    std::vector<uint8_t> bytes(length);
    std::ifstream in(file, std::ios::binary);
    in.seekg(offset);
    in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(length));
    return bytes;
}

// A zero-filled image of `mebibytes` MiB.
inline std::string BlankImage(const ScratchFolder& folder, const std::string& name, int64_t mebibytes) {
    std::string path = folder.File(name);
    std::filesystem::remove(path);
    std::ofstream(path).close();
    std::filesystem::resize_file(path, mebibytes << 20);
    return path;
}

// The description lines of a PC whose system volume C: is the whole of a small fixed disk 9 (the
// simulated PC refuses every write when it cannot place the system volume on a disk). Numbered
// after the sticks, it stays out of the way of their disk numbers and drive-list lines.
inline std::string SystemDiskLines(const ScratchFolder& folder) {
    return "system-drive = C\n[disk 9]\nimage = " + BlankImage(folder, "system.img", 1) +
           "\nbus = 11\ndrive-type = 3\nletters = C:0\n";
}

// Writes an MBR partition table with sfdisk; `script` is sfdisk's input, one partition a line.
inline void Partition(const std::string& image, const std::string& script) {
    std::string scriptFile = image + ".sfdisk";
    std::ofstream(scriptFile) << "label: dos\n" << script;
    ASSERT_EQ(Shell("sfdisk -q '" + image + "' < '" + scriptFile + "'"), 0) << script;
}

// FAT of the given size (12, 16, 32) inside the image, starting at sector `start`, `sectors` long.
inline void FormatFat(const std::string& image, int fatSize, int64_t start, int64_t sectors, const std::string& label) {
    std::string labelArg = label.empty() ? "" : " -n '" + label + "'";
    ASSERT_EQ(Shell("mkfs.fat -F " + std::to_string(fatSize) + labelArg + " --offset=" + std::to_string(start) + " '" +
                    image + "' " + std::to_string(sectors / 2)),
              0);
}

// Copies a whole file into the image at sector `start`; zero blocks are left as they are (the
// images start zero-filled).
inline void Splice(const std::string& image, const std::string& part, int64_t start) {
    int in = open(part.c_str(), O_RDONLY), out = open(image.c_str(), O_WRONLY);
    ASSERT_GE(in, 0);
    ASSERT_GE(out, 0);
    std::vector<char> block(1 << 16);
    static const std::vector<char> zeros(1 << 16, 0);
    int64_t at = 0;
    for (ssize_t n; (n = read(in, block.data(), block.size())) > 0; at += n)
        if (std::memcmp(block.data(), zeros.data(), size_t(n)) != 0) {
            ASSERT_EQ(pwrite(out, block.data(), size_t(n), start * 512 + at), n);
        }
    close(in);
    close(out);
}

// A file system made by `mkfs` (a command ending before the file name) in a file of its own,
// image + suffix, and copied into the partition.
inline void FormatInOwnFile(const std::string& image, int64_t start, int64_t sectors, const std::string& suffix,
                            const std::string& mkfs) {
    std::string part = image + suffix;
    std::ofstream(part).close();
    std::filesystem::resize_file(part, sectors * 512);
    ASSERT_EQ(Shell(mkfs + " '" + part + "'"), 0);
    Splice(image, part, start);
}

inline void FormatExFat(const std::string& image, int64_t start, int64_t sectors, const std::string& label) {
    FormatInOwnFile(image, start, sectors, ".exfat", "mkfs.exfat -L '" + label + "'");
}

inline void FormatNtfs(const std::string& image, int64_t start, int64_t sectors, const std::string& label) {
    FormatInOwnFile(image, start, sectors, ".ntfs", "mkntfs -F -Q -L '" + label + "'");
}

// Writes `text` as the description of the simulated PC and loads it.
inline void LoadPcText(const ScratchFolder& folder, const std::string& text) {
    std::string file = folder.File("pc.txt");
    std::ofstream(file) << text;
    std::string error;
    ASSERT_TRUE(sim::LoadPc(file, &error)) << error;
}

// The office PC of the disk scenarios:
//   disk 0   SATA, fixed, the system disk: one NTFS partition "System" as C:
//   disk 1   USB stick "Acme" "Stick", 64 MiB, signature 0x12345678: FAT32 "CLOVER" (active) as E:,
//            exFAT "DATA" as F:
//   disk 3   USB stick whose descriptor query fails, removable, FAT32 "LOST" as G:
//   disk 4   a fixed disk whose descriptor query fails, no partition table
//   disk 5   an empty card reader (length 0)
//   disk 49  USB "Kingmax", 32 MiB, no letters: an unlabelled FAT16 partition
//   disk 50  USB, beyond the probed device numbers
//   Z:       a CD drive
// The office PC's images are only read, and making them costs seconds (the tools sync their
// writes), so every test process shares one set in the temporary folder: the first one builds
// it aside and renames it into place.
inline std::string OfficeImage(const std::string& name) {
    namespace fs = std::filesystem;
    static const std::string shared = (fs::temp_directory_path() / "vu-disks-office-v1").string();
    static bool ready = [] {
        if (fs::exists(shared + "/complete")) return true;
        std::string pattern = shared + "-XXXXXX";
        std::string aside = mkdtemp(pattern.data());
        auto file = [&](const std::string& n) { return aside + "/" + n; };
        auto blank = [&](const std::string& n, int64_t mebibytes) {
            std::ofstream(file(n)).close();
            fs::resize_file(file(n), mebibytes << 20);
            return file(n);
        };
        std::string system = blank("system.img", 64);
        Partition(system, "start=2048, type=7\n");
        FormatNtfs(system, 2048, 129024, "System");

        std::string stick = blank("stick.img", 64);
        Partition(stick, "label-id: 0x12345678\nstart=2048, size=61440, type=c, bootable\nstart=63488, type=7\n");
        FormatFat(stick, 32, 2048, 61440, "CLOVER");
        FormatExFat(stick, 63488, 67584, "DATA");

        std::string lost = blank("lost.img", 40);
        Partition(lost, "start=2048, type=c\n");
        FormatFat(lost, 32, 2048, 79872, "LOST");

        blank("bare.img", 16);
        blank("empty.img", 0);

        std::string kingmax = blank("kingmax.img", 32);
        Partition(kingmax, "start=2048, type=6\n");
        FormatFat(kingmax, 16, 2048, 63488, "");
        for (const char* helper : {"system.img.sfdisk", "system.img.ntfs", "stick.img.sfdisk", "stick.img.exfat",
                                   "lost.img.sfdisk", "kingmax.img.sfdisk"})
            fs::remove(file(helper));
        std::ofstream(file("complete")).close();
        std::error_code error;
        fs::rename(aside, shared, error);
        if (error) fs::remove_all(aside);  // another process was quicker
        return true;
    }();
    (void)ready;
    return shared + "/" + name;
}

inline void BuildOfficePc(const ScratchFolder& folder) {
    LoadPcText(folder, "system-drive = C\n"
                       "foreign-letters = Z:\n"
                       "[disk 0]\nimage = " + OfficeImage("system.img") +
                       "\nbus = 11\nproduct = Samsung SSD\ndrive-type = 3\nletters = C:1\n"
                       "[disk 1]\nimage = " + OfficeImage("stick.img") +
                       "\nbus = 7\nvendor = \"Acme    \"\nproduct = \" Stick \"\ndrive-type = 2\nletters = E:1 F:2\n"
                       "[disk 3]\nimage = " + OfficeImage("lost.img") +
                       "\nbus = 7\nvendor = Lost\ndrive-type = 2\nfail = descriptor\nletters = G:1\n"
                       "[disk 4]\nimage = " + OfficeImage("bare.img") + "\ndrive-type = 3\nfail = descriptor\n"
                       "[disk 5]\nimage = " + OfficeImage("empty.img") + "\nbus = 7\n"
                       "[disk 49]\nimage = " + OfficeImage("kingmax.img") +
                       "\nbus = 7\nvendor = Kingmax\ndrive-type = 2\ngeometry = 4 255 63 512\n"
                       "[disk 50]\nimage = " + OfficeImage("kingmax.img") + "\nbus = 7\nvendor = Beyond\n");
}

}  // namespace vu::test
