// velloran-image backup DISK.img PART OUT
//
// The partition backup with DISK.img as the stick, its partitions mounted as Windows would have
// mounted them: Part<PART> (counted from 1, as the drive list names it) is copied into OUT. The
// save dialog is answered with OUT and its question with Yes; the exit code is 0 exactly when the
// copy ran to its end and the final line said " Done".
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "commands.h"
#include "tool_session.h"

#include "images/partition_images.h"
#include "platform/sim/sim.h"

namespace fs = std::filesystem;

namespace vu::tool {

const char* const BackupUsage = "velloran-image backup DISK.img PART OUT";

int BackupCommand(int argc, char** argv) {
    if (argc != 4) return Usage("backup takes DISK.img, PART and OUT", BackupUsage);
    char* end = nullptr;
    long part = std::strtol(argv[2], &end, 10);
    if (*end || part < 1) return Usage("PART is a partition number from 1 up", BackupUsage);
    if (!fs::is_regular_file(argv[1])) return Usage(std::string("no image file ") + argv[1], BackupUsage);

    Session session;
    std::string error;
    if (!session.LoadImagePc(argv[1], 0, error)) {
        std::fprintf(stderr, "velloran-image: %s\n", error.c_str());
        return UsageError;
    }
    if (!session.SelectPartition(int(part))) return Usage(std::string(argv[1]) + " has no Part" + argv[2], BackupUsage);
    sim::AnswerNextRequesters({session.WindowsPathOf(argv[3])});
    BackupPartition(1, CopySettings());
    return session.SawStatusEnding(" Done") && !session.SawStatus("Backup Cancelled") ? 0 : 1;
}

}  // namespace vu::tool
