// BitLocker volume headers; see bitlocker.h.
#include "disk/bitlocker.h"

#include <cstring>

namespace vu {

namespace {

constexpr int OemNameAt = 3;
constexpr int ToGoIdentifierAt = 424;
// 4967D63B-2E29-4AD8-8399-F6A339E3D001 as a volume header stores it.
constexpr uint8_t BitLockerIdentifier[16] = {0x3B, 0xD6, 0x67, 0x49, 0x29, 0x2E, 0xD8, 0x4A,
                                             0x83, 0x99, 0xF6, 0xA3, 0x39, 0xE3, 0xD0, 0x01};

}  // namespace

bool IsBitLockerBootSector(const uint8_t* sector) {
    if (std::memcmp(sector + OemNameAt, "-FVE-FS-", 8) == 0) return true;
    return std::memcmp(sector + OemNameAt, "MSWIN4.1", 8) == 0 &&
           std::memcmp(sector + ToGoIdentifierAt, BitLockerIdentifier, sizeof BitLockerIdentifier) == 0;
}

}  // namespace vu
