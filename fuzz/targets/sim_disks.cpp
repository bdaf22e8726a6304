// The description file of the simulated PC (disks, their bus, geometry, letters and injected
// faults). A description that loads is then read by the program, with every disk's image replaced
// by one small stick image made here, so that no path of the input is opened on the host.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "disk_support.h"
#include "platform/sim/sim_disk_model.h"

namespace {

// A stick with a FAT16 partition labelled "STICK" (active), an NTFS-typed partition and a logical
// partition in an extended one.
void MakeStick(vu::fuzz::MemoryFile& image) {
    auto put32 = [](uint8_t* at, uint32_t v) {
        for (int i = 0; i < 4; ++i) at[i] = uint8_t(v >> (8 * i));
    };
    auto entry = [&](uint8_t* record, int slot, uint8_t boot, uint8_t type, uint32_t start, uint32_t count) {
        uint8_t* e = record + 446 + 16 * slot;
        e[0] = boot, e[4] = type;
        put32(e + 8, start), put32(e + 12, count);
    };
    uint8_t mbr[512] = {}, ebr[512] = {}, fat[512] = {}, root[512] = {};
    entry(mbr, 0, 0x80, 0x06, 63, 2048);
    entry(mbr, 1, 0, 0x07, 2111, 2048);
    entry(mbr, 2, 0, 0x0F, 4159, 4096);
    entry(ebr, 0, 0, 0x06, 63, 1000);
    for (uint8_t* record : {mbr, ebr, fat}) record[510] = 0x55, record[511] = 0xAA;
    const uint8_t bpb[] = {0xEB, 0x3C, 0x90, 'M', 'S', 'D', 'O', 'S', '5', '.', '0', 0x00, 0x02, 4, 1, 0,
                           2, 0x00, 0x02, 0x00, 0x08, 0xF8, 2, 0};
    std::memcpy(fat, bpb, sizeof bpb);
    std::memcpy(root, "STICK      \x08", 12);
    image.Reset(16384 * 512);
    image.Put(0, mbr, 512);
    image.Put(4159 * 512, ebr, 512);
    image.Put(63 * 512, fat, 512);
    image.Put((63 + 1 + 2 * 2) * 512, root, 512);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vu;
    fuzz::StartPcWithMainWindow();
    static fuzz::MemoryFile image("stick.img"), description("pc.txt");
    static bool made = (MakeStick(image), true);
    (void)made;
    description.Assign(data, size);
    if (!sim::LoadPc(description.Path())) return 0;
    {
        auto& state = sim::detail::Disks();
        sim::detail::DiskLock lock(state.lock);
        for (auto& [number, disk] : state.disks) disk.image = image.Path();
    }
    fuzz::ReadEveryDisk();
    // A described fault or write limit must not carry over into the next input.
    sim::ClearDisks();
    return 0;
}
