// velloran-image: the program's operations on a simulated PC whose only USB stick is an image
// file, so that what they write can be inspected and booted on Linux. Every status text and
// message box is printed as it appears. The first argument names the command; without a known
// name the arguments are the format command's.
#include <cstdio>
#include <cstring>

#include "commands.h"

using namespace vu::tool;

namespace {

const Command Commands[] = {
    {nullptr, FormatUsage, FormatCommand},
    {"backup", BackupUsage, BackupCommand},
    {"restore", RestoreUsage, RestoreCommand},
    {"convert-clover-iso", ConvertUsage, ConvertCommand},
    {"extract-hfs", ExtractHfsUsage, ExtractHfsCommand},
    {"extract-hfs-pkg", ExtractHfsPackageUsage, ExtractHfsPackageCommand},
    {"recovery-hd", RecoveryHdUsage, RecoveryHdCommand},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        for (const auto& command : Commands) std::printf("usage: %s\n", command.usage);
        return 0;
    }
    for (const auto& command : Commands)
        if (command.name && argc >= 2 && std::strcmp(argv[1], command.name) == 0)
            return command.run(argc - 1, argv + 1);
    return FormatCommand(argc, argv);
}
