// velloran-image convert-clover-iso CloverISO-<revision>.tar.lzma OUT.zip
//
// The conversion of a downloaded bootloader release into its data-set ZIP, as the "DL"
// installation does it, on its own: for checking a release by hand and for timing the conversion.
// Exit code 0 when the ZIP was written, 1 when the conversion failed.
#include <cstdio>
#include <filesystem>
#include <string>

#include "commands.h"
#include "tool_session.h"

#include "platform/sim/sim_files.h"
#include "prepare/clover_iso_convert.h"

namespace fs = std::filesystem;

namespace vu::tool {

const char* const ConvertUsage = "velloran-image convert-clover-iso RELEASE.tar.lzma OUT.zip";

int ConvertCommand(int argc, char** argv) {
    if (argc != 3) return Usage("a release and a ZIP to write", ConvertUsage);
    fs::path release = fs::absolute(argv[1]), zip = fs::absolute(argv[2]);
    if (!fs::is_regular_file(release)) return Usage("no release " + release.string(), ConvertUsage);
    if (!fs::is_directory(zip.parent_path())) return Usage("no folder " + zip.parent_path().string(), ConvertUsage);

    Session session;
    // The two folders as drives of the simulated PC, as the program sees its working folder.
    sim::SetDriveRoot('I', release.parent_path().string());
    sim::SetDriveRoot('O', zip.parent_path().string());
    std::string detail;
    ConvertResult result = ConvertCloverIso("I:\\" + release.filename().string(), "O:\\" + zip.filename().string(),
                                            &detail);
    if (result != ConvertResult::Done) {
        std::fprintf(stderr, "velloran-image: the conversion failed: %s\n", detail.c_str());
        return 1;
    }
    return 0;
}

}  // namespace vu::tool
