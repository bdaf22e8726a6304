// The table of embedded items over the arrays that the build generates (embedded_data.cpp).
#include "embedded.h"

#include <atomic>

namespace vu {

namespace embedded {
#define VU_EMBEDDED_ITEM(symbol)                 \
    extern const unsigned char* const symbol##Data; \
    extern const std::size_t symbol##Size;
VU_EMBEDDED_ITEM(Icon0)
VU_EMBEDDED_ITEM(Icon1)
VU_EMBEDDED_ITEM(Icon2)
VU_EMBEDDED_ITEM(Icon3)
VU_EMBEDDED_ITEM(Icon4)
VU_EMBEDDED_ITEM(Icon5)
VU_EMBEDDED_ITEM(Icon6)
VU_EMBEDDED_ITEM(Icon7)
VU_EMBEDDED_ITEM(FreeDosPackage)
VU_EMBEDDED_ITEM(HfsDriversX86Package)
VU_EMBEDDED_ITEM(HfsDriversX64Package)
#undef VU_EMBEDDED_ITEM
}  // namespace embedded

namespace {

constexpr std::string_view kHowTo =
    "\tHOW-TO create a Clover Bootable Flash drive\r\n"
    "\t\twith MAC OS X HD Recovery:\r\n"
    "\r\n"
    "1. Fine-tune the Zarn [Configuration] (By default, not required).\r\n"
    "2. Select any Flash Drive (may be tested on virtual or hard drives, too).\r\n"
    "3. [Format] selected Flash Drive into 2 partitions:\r\n"
    "    Clover bootloader will be automatically installed to the 1st Partition.\r\n"
    "4. Open [Download Center], [Update] HD Recovery Download List\r\n"
    "    and [DL] any Apple MAC OS X HD Recovery. HFS-Image will be\r\n"
    "    automatically extracted from pkg to the ZarnImage Local Repo.\r\n"
    "5. [Restore ...] HFS-Image file to the 2nd Disk Partition\r\n"
    "6. Enjoy :-)";

}  // namespace

EmbeddedSpan IconData(int index) {
    using namespace embedded;
    switch (index) {
        case 0: return {Icon0Data, Icon0Size};
        case 1: return {Icon1Data, Icon1Size};
        case 2: return {Icon2Data, Icon2Size};
        case 3: return {Icon3Data, Icon3Size};
        case 4: return {Icon4Data, Icon4Size};
        case 5: return {Icon5Data, Icon5Size};
        case 6: return {Icon6Data, Icon6Size};
        case 7: return {Icon7Data, Icon7Size};
        default: return {};
    }
}

std::string_view HowToText() { return kHowTo; }

namespace {
std::atomic<const unsigned char*> suppliedFreeDosData{nullptr};
std::atomic<std::size_t> suppliedFreeDosSize{0};
}  // namespace

EmbeddedSpan FreeDosPackage() {
    if (embedded::FreeDosPackageSize != 0) return {embedded::FreeDosPackageData, embedded::FreeDosPackageSize};
    return {suppliedFreeDosData.load(), suppliedFreeDosSize.load()};
}

void SupplyFreeDosPackage(EmbeddedSpan package) {
    suppliedFreeDosSize = 0;
    suppliedFreeDosData = package.data;
    suppliedFreeDosSize = package.size;
}
EmbeddedSpan HfsDriversX86Package() {
    return {embedded::HfsDriversX86PackageData, embedded::HfsDriversX86PackageSize};
}
EmbeddedSpan HfsDriversX64Package() {
    return {embedded::HfsDriversX64PackageData, embedded::HfsDriversX64PackageSize};
}
bool HasFreeDosPackage() { return !FreeDosPackage().empty(); }
bool HasHfsDriversPackages() { return !HfsDriversX86Package().empty() && !HfsDriversX64Package().empty(); }

}  // namespace vu
