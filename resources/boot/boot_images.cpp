// Name lookup over the embedded boot-sector images (the bytes are generated at build time).
#include "boot_images.h"

namespace vu {

namespace {

const BootImage kImages[] = {
    {"USB-HDD+", kUsbHddPlusImage, sizeof kUsbHddPlusImage},
    {"Fat32LBA(FreeDos)", kFat32LbaFreeDosImage, sizeof kFat32LbaFreeDosImage},
    {"boot0", kBoot0Image, sizeof kBoot0Image},
    {"boot1f32alt", kBoot1f32AltImage, sizeof kBoot1f32AltImage},
    {"boot1xalt", kBoot1xAltImage, sizeof kBoot1xAltImage},
};

}  // namespace

const BootImage* FindBootImage(std::string_view name) {
  for (const BootImage& image : kImages) {
    if (image.name == name) return &image;
  }
  return nullptr;
}

}  // namespace vu
