// The exFAT boot checksum: the rotate-right-by-one-and-add sum over the first eleven sectors of a
// boot region, skipping VolumeFlags (bytes 106, 107) and PercentInUse (byte 112) of the boot sector.
#pragma once
#include <cstdint>

namespace vu {

uint32_t ExFatBootChecksum(const uint8_t* region, uint32_t bytesPerSector);
// Fills the twelfth sector of a boot region with the checksum of the first eleven.
void WriteExFatChecksumSector(uint8_t* region, uint32_t bytesPerSector);

}  // namespace vu
