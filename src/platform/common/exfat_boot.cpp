// The exFAT boot checksum; see exfat_boot.h.
#include "platform/common/exfat_boot.h"

namespace vu {

uint32_t ExFatBootChecksum(const uint8_t* region, uint32_t bytesPerSector) {
    uint32_t sum = 0;
    for (uint32_t i = 0; i < 11 * bytesPerSector; ++i) {
        if (i == 106 || i == 107 || i == 112) continue;
        sum = ((sum & 1) ? 0x80000000u : 0) + (sum >> 1) + region[i];
    }
    return sum;
}

void WriteExFatChecksumSector(uint8_t* region, uint32_t bytesPerSector) {
    uint32_t sum = ExFatBootChecksum(region, bytesPerSector);
    uint8_t* sector = region + 11 * bytesPerSector;
    for (uint32_t i = 0; i + 4 <= bytesPerSector; i += 4) {
        sector[i] = uint8_t(sum), sector[i + 1] = uint8_t(sum >> 8);
        sector[i + 2] = uint8_t(sum >> 16), sector[i + 3] = uint8_t(sum >> 24);
    }
}

}  // namespace vu
