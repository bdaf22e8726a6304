// Partition tables read from disks: the MBR and its chain of extended boot records as the
// simulated PC reports them (the drive layout request), the inventory and drive list built from
// that report, and the file-system boot sectors read for the labels. The input is a disk image
// in the sector form of fuzz_support.h; the same image is a stick of 512-byte sectors and a disk
// of 4096-byte sectors.
#include <cstddef>
#include <cstdint>
#include <string>

#include "disk_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vu;
    fuzz::StartPcWithMainWindow();
    static fuzz::MemoryFile image("disk.img");
    static bool loaded = [] {
        fuzz::MemoryFile description("pc.txt");
        std::string text = "[disk 1]\nimage = " + image.Path() + "\nbus = 7\nvendor = Acme\nproduct = Stick\n"
                           "letters = E:1 F:2 G:3 H:4 I:5 J:6\n"
                           "[disk 2]\nimage = " + image.Path() + "\nbus = 7\ngeometry = 100 255 63 4096\n"
                           "letters = K:1 L:2 M:5\n";
        description.Assign(text.data(), text.size());
        std::string error;
        if (!sim::LoadPc(description.Path(), &error)) fuzz::Fail(error);
        return true;
    }();
    (void)loaded;
    if (!fuzz::LoadSectorImage(image, data, size)) return 0;
    fuzz::ReadEveryDisk();
    return 0;
}
