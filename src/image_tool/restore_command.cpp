// velloran-image restore DISK.img PART IN [--no-verify]
//
// The partition restore with DISK.img as the stick, its partitions mounted as Windows would have
// mounted them: IN is written onto Part<PART> (counted from 1, as the drive list names it), read
// back, and the partition's MBR entry made HFS+ of IN's size. The open dialog is answered with IN
// and its question with Yes; the exit code is 0 exactly when the image was written and read back
// unchanged and the final line said " Done". --no-verify skips the reading back (to time the copy).
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

const char* const RestoreUsage = "velloran-image restore DISK.img PART IN [--no-verify]";

int RestoreCommand(int argc, char** argv) {
    bool verify = !(argc == 5 && std::string(argv[4]) == "--no-verify");
    if (argc != 4 && verify) return Usage("restore takes DISK.img, PART and IN", RestoreUsage);
    char* end = nullptr;
    long part = std::strtol(argv[2], &end, 10);
    if (*end || part < 1) return Usage("PART is a partition number from 1 up", RestoreUsage);
    if (!fs::is_regular_file(argv[1])) return Usage(std::string("no image file ") + argv[1], RestoreUsage);
    if (!fs::is_regular_file(argv[3])) return Usage(std::string("no image file ") + argv[3], RestoreUsage);

    Session session;
    std::string error;
    if (!session.LoadImagePc(argv[1], 0, error)) {
        std::fprintf(stderr, "velloran-image: %s\n", error.c_str());
        return UsageError;
    }
    if (!session.SelectPartition(int(part))) return Usage(std::string(argv[1]) + " has no Part" + argv[2], RestoreUsage);
    sim::AnswerNextRequesters({session.WindowsPathOf(argv[3])});
    VerifyRestoredImage = verify;
    RestorePartition(1, CopySettings());
    return session.SawStatusEnding(" Done") && !session.SawStatus("Restore Cancelled") ? 0 : 1;
}

}  // namespace vu::tool
