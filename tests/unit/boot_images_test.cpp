// Byte-level checks of the embedded boot-sector images: sizes, signatures, the areas
// the format pipeline fills in (and which must therefore be empty), jumps and texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string_view>

#include "boot_images.h"

namespace vu {
namespace {

bool AllZero(const unsigned char* data, std::size_t from, std::size_t to) {
  return std::all_of(data + from, data + to, [](unsigned char b) { return b == 0; });
}

bool Contains(const unsigned char* data, std::size_t size, std::string_view text) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  return bytes.find(text) != std::string_view::npos;
}

// Where a short jump at byte 0 (EB xx 90) lands.
std::size_t JumpTarget(const unsigned char* sector) {
  EXPECT_EQ(sector[0], 0xEB);
  EXPECT_EQ(sector[2], 0x90);
  return 2 + sector[1];
}

TEST(BootImages, LookupByNameGivesEveryImageWithItsSize) {
  struct Expected {
    std::string_view name;
    const unsigned char* data;
    std::size_t size;
  };
  const Expected all[] = {{"USB-HDD+", kUsbHddPlusImage, 512},
                          {"Fat32LBA(FreeDos)", kFat32LbaFreeDosImage, 512},
                          {"boot0", kBoot0Image, 512},
                          {"boot1f32alt", kBoot1f32AltImage, 512},
                          {"boot1xalt", kBoot1xAltImage, 2048}};
  for (const Expected& e : all) {
    const BootImage* image = FindBootImage(e.name);
    ASSERT_NE(image, nullptr) << e.name;
    EXPECT_EQ(image->name, e.name);
    EXPECT_EQ(image->data, e.data) << e.name;
    EXPECT_EQ(image->size, e.size) << e.name;
    for (std::size_t end = 512; end <= image->size; end += 512) {
      EXPECT_EQ(image->data[end - 2], 0x55) << e.name << " sector ending at " << end;
      EXPECT_EQ(image->data[end - 1], 0xAA) << e.name << " sector ending at " << end;
    }
  }
  EXPECT_EQ(FindBootImage("boot1f32"), nullptr);
  EXPECT_EQ(FindBootImage("usb-hdd+"), nullptr);
  EXPECT_EQ(FindBootImage(""), nullptr);
}

TEST(BootImages, UsbHddPlusLeavesTheTableToThePipelineButMarksEntryOneActive) {
  const unsigned char* mbr = kUsbHddPlusImage;
  EXPECT_TRUE(AllZero(mbr, 0x1B8, 0x1BE));  // disk signature, written by the pipeline
  EXPECT_EQ(mbr[0x1BE], 0x80);
  EXPECT_TRUE(AllZero(mbr, 0x1BF, 0x1FE));
  EXPECT_TRUE(Contains(mbr, 0x1B8, "Start booting from USB device..."));
  EXPECT_TRUE(Contains(mbr, 0x1B8, "Boot failed"));
  EXPECT_NE(mbr[0], 0x00);  // code starts at once
}

TEST(BootImages, Boot0HasAnEmptyTableAndSignature) {
  const unsigned char* mbr = kBoot0Image;
  EXPECT_TRUE(AllZero(mbr, 0x1B8, 0x1FE));
  EXPECT_TRUE(Contains(mbr, 0x1B8, "boot0: "));
  EXPECT_TRUE(Contains(mbr, 0x1B8, "error"));
  EXPECT_NE(mbr[0], 0x00);
}

TEST(BootImages, Fat32SectorsLeaveRoomForTheParameterBlock) {
  for (const unsigned char* pbr : {kFat32LbaFreeDosImage, kBoot1f32AltImage}) {
    EXPECT_TRUE(AllZero(pbr, 3, 90));
    EXPECT_GE(JumpTarget(pbr), 90u);
  }
}

TEST(BootImages, Boot1f32AltNamesItsFileAtOffset90AndJumpsPastIt) {
  std::string_view name(reinterpret_cast<const char*>(kBoot1f32AltImage) + 90, 11);
  EXPECT_EQ(name, "BOOT       ");
  EXPECT_EQ(JumpTarget(kBoot1f32AltImage), 101u);
}

TEST(BootImages, FreeDosSectorCarriesItsTextsAndTheKernelName) {
  const unsigned char* pbr = kFat32LbaFreeDosImage;
  EXPECT_TRUE(Contains(pbr, 512, "Loading FreeDOS "));
  // The error text doubles as the 11-byte name searched for: "No " then "KERNEL  SYS".
  std::string_view tail(reinterpret_cast<const char*>(pbr) + 0x1EE, 14);
  EXPECT_EQ(tail, "No KERNEL  SYS");
  EXPECT_EQ(pbr[0x1FC], 0);
  EXPECT_EQ(pbr[0x1FD], 0);
}

TEST(BootImages, Boot1xAltHasTheExfatBootRegionLayout) {
  const unsigned char* region = kBoot1xAltImage;
  EXPECT_EQ(JumpTarget(region), 120u);
  EXPECT_EQ(region[1], 0x76);
  EXPECT_TRUE(AllZero(region, 3, 120));  // name and volume fields come from the formatter
  EXPECT_NE(region[120], 0x00);          // code from byte 120
  EXPECT_TRUE(Contains(region, 510, "boot1x: "));
  EXPECT_TRUE(Contains(region, 510, "init"));
  EXPECT_TRUE(Contains(region, 510, "error"));
  // Sectors 1-3 are extended boot sectors: their signature is the dword AA550000h.
  for (std::size_t sector = 1; sector < 4; ++sector) {
    const unsigned char* s = region + 512 * sector;
    EXPECT_EQ(s[508], 0x00) << sector;
    EXPECT_EQ(s[509], 0x00) << sector;
  }
  EXPECT_NE(region[512], 0x00);  // the second sector holds code
  EXPECT_TRUE(AllZero(region, 1024, 1024 + 508));
  EXPECT_TRUE(AllZero(region, 1536, 1536 + 508));
}

}  // namespace
}  // namespace vu
