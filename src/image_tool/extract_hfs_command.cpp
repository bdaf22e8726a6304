// velloran-image extract-hfs IN.dmg OUTDIR [--overwrite]
// velloran-image extract-hfs-pkg PKG BUILD OUTDIR
//
// extract-hfs runs the Tools menu's DMG extraction with its requesters answered by the
// arguments (IN.dmg's folder is drive D:, OUTDIR drive O:); an existing image is replaced only
// with --overwrite. extract-hfs-pkg runs the Recovery HD package chain on a package already
// downloaded, with OUTDIR as the image folder, and fails when it leaves anything in the working
// folder. Both print the written image's path and exit 0 only when one was written.
#include <cstdio>
#include <filesystem>
#include <string>

#include "commands.h"
#include "tool_session.h"

#include "app/main_window.h"
#include "core/work_folder.h"
#include "platform/files.h"
#include "platform/gui.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_files.h"
#include "tools/hfs_from_dmg.h"
#include "tools/recovery_package.h"

namespace fs = std::filesystem;

namespace vu::tool {

const char* const ExtractHfsUsage = "velloran-image extract-hfs IN.dmg OUTDIR [--overwrite]";
const char* const ExtractHfsPackageUsage = "velloran-image extract-hfs-pkg PKG BUILD OUTDIR";

namespace {

// The input file's folder as D:, the output folder as O:; returns the input's Windows path.
std::string MapFolders(const std::string& input, const std::string& outputFolder) {
    sim::SetDriveRoot('D', fs::absolute(input).parent_path().string());
    sim::SetDriveRoot('O', fs::absolute(outputFolder).string());
    return "D:\\" + fs::path(input).filename().string();
}

void PrintImage(const std::string& windowsPath) {
    std::printf("%s\n", sim::HostPath(windowsPath).c_str());
    std::fflush(stdout);
}

}  // namespace

int ExtractHfsCommand(int argc, char** argv) {
    std::vector<std::string> args;
    bool overwrite = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--overwrite") overwrite = true;
        else if (!arg.empty() && arg[0] == '-') return Usage("unknown option " + arg, ExtractHfsUsage);
        else args.push_back(arg);
    }
    if (args.size() != 2) return Usage("a DMG file and an output folder are needed", ExtractHfsUsage);
    if (!fs::is_regular_file(args[0])) return Usage("no file " + args[0], ExtractHfsUsage);
    if (!fs::is_directory(args[1])) return Usage("no folder " + args[1], ExtractHfsUsage);

    Session session;
    std::string dmg = MapFolders(args[0], args[1]);
    BuildMainWindow();
    sim::AnswerNextRequesters({dmg, "O:\\"});
    sim::AnswerNextMessages({overwrite ? plat::IdYes : plat::IdNo});
    ExtractHfsFromDmg(1, CopySettings());
    for (const auto& image : ExtractedHfsImages) PrintImage(image);
    return ExtractedHfsImages.empty() ? 1 : 0;
}

int ExtractHfsPackageCommand(int argc, char** argv) {
    if (argc != 4) return Usage("a package, a build and an output folder are needed", ExtractHfsPackageUsage);
    std::string package = argv[1], build = argv[2], output = argv[3];
    if (!fs::is_regular_file(package)) return Usage("no file " + package, ExtractHfsPackageUsage);
    if (!fs::is_directory(output)) return Usage("no folder " + output, ExtractHfsPackageUsage);

    Session session;
    std::string path = MapFolders(package, output);
    BuildMainWindow();
    WorkFolder work;
    if (!work.Create()) {
        std::fprintf(stderr, "velloran-image: no working folder\n");
        return 1;
    }
    RecoveryHdExtraction result = ExtractRecoveryHdPackage(path, build, work.Path(), "O:\\");
    int status = result.outcome == RecoveryHdExtraction::Done ? 0 : 1;
    if (result.outcome == RecoveryHdExtraction::Failed) std::fprintf(stderr, "velloran-image: %s\n", result.error.c_str());
    if (result.outcome == RecoveryHdExtraction::Cancelled) std::fprintf(stderr, "velloran-image: cancelled\n");
    for (const auto& entry : plat::ListFolder(work.Path())) {
        std::fprintf(stderr, "velloran-image: left in the working folder: %s\n", entry.name.c_str());
        status = 1;
    }
    work.Delete();
    if (status == 0) PrintImage(result.imagePath);
    return status;
}

}  // namespace vu::tool
