// The five boot-sector images the program writes to a drive: two master boot records
// and three partition boot codes, assembled from the .asm files beside this header.
// Each is a whole number of 512-byte sectors, every sector ending 55 AA.
// Constant data: any thread may read them.
#pragma once

#include <cstddef>
#include <string_view>

namespace vu {

extern const unsigned char kUsbHddPlusImage[512];       // MBR "USB-HDD+"
extern const unsigned char kFat32LbaFreeDosImage[512];  // FAT32 boot sector "Fat32LBA(FreeDos)"
extern const unsigned char kBoot0Image[512];            // MBR "boot0"
extern const unsigned char kBoot1f32AltImage[512];      // FAT32 boot sector "boot1f32alt"
extern const unsigned char kBoot1xAltImage[2048];       // exFAT boot region "boot1xalt"

struct BootImage {
  std::string_view name;  // as the logs and the boot-record plan name it
  const unsigned char* data;
  std::size_t size;       // bytes; a multiple of 512
};

// The image called `name` ("USB-HDD+", "Fat32LBA(FreeDos)", "boot0", "boot1f32alt",
// "boot1xalt"), or nullptr for any other name.
const BootImage* FindBootImage(std::string_view name);

}  // namespace vu
