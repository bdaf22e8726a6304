// Name lookup over the embedded boot-sector images (the bytes are generated at build time).
#include "boot_images.h"

namespace vu {

const BootImage* FindBootImage(std::string_view name) {
  // Local, so it is built on first use: under MinGW the array addresses make this a
  // dynamic initialisation, which a namespace-scope table would leave to link order.
  static const BootImage kImages[] = {
      {"USB-HDD+", kUsbHddPlusImage, sizeof kUsbHddPlusImage},
      {"Fat32LBA(FreeDos)", kFat32LbaFreeDosImage, sizeof kFat32LbaFreeDosImage},
      {"boot0", kBoot0Image, sizeof kBoot0Image},
      {"boot1f32alt", kBoot1f32AltImage, sizeof kBoot1f32AltImage},
      {"boot1xalt", kBoot1xAltImage, sizeof kBoot1xAltImage},
  };
  for (const BootImage& image : kImages) {
    if (image.name == name) return &image;
  }
  return nullptr;
}

}  // namespace vu
