// velloran-image OUT.img [--size MiB] [--settings FILE.ini] [--data-set FILE.zip] [--freedos FILE.pkg]
//                [--revision N]
//
// The format pipeline with the image as the stick, made or resized to --size MiB; without --size
// an existing image keeps its size (2 TiB less one sector, say, which is no whole MiB). The
// settings come from FILE.ini through the program's own reader (defaults without it); --data-set
// makes FILE.zip the local data set to install; --freedos hands over the FreeDOS set, packed as the
// program's packages are (resources/packages/pack_package.py), which this build does not carry.
// With InstallDataSet=DL the data set of revision N (default 0: the latest) is downloaded from the
// bootloader project's download host (VU_CLOVER_HOST names a mirror) and converted on the spot.
// Confirmations are answered OK; the exit code is 0 exactly when the run ended with "All done",
// installed the data set it was asked for, and the volume's files were written into the image.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "commands.h"
#include "tool_session.h"

#include "app/event_loop.h"
#include "core/settings.h"
#include "embedded.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_volume_sync.h"
#include "prepare/format_drive.h"
#include "prepare/local_repository.h"

namespace fs = std::filesystem;

namespace vu::tool {

const char* const FormatUsage =
    "velloran-image OUT.img [--size MiB] [--settings FILE.ini] [--data-set FILE.zip] [--freedos FILE.pkg] "
    "[--revision N]";

namespace {

struct Arguments {
    std::string image, settings, dataSet, freeDos, revision = "0";
    long long mebibytes = 0;
};

bool Parse(int argc, char** argv, Arguments& args, std::string& problem) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= argc) return problem = arg + " needs a value", false;
            into = argv[++i];
            return true;
        };
        std::string size;
        if (arg == "--size") {
            if (!value(size)) return false;
            char* end = nullptr;
            args.mebibytes = std::strtoll(size.c_str(), &end, 10);
            if (*end || args.mebibytes < 1 || args.mebibytes > (64LL << 20))
                return problem = "the size is a number of MiB from 1 up", false;
        } else if (arg == "--settings") {
            if (!value(args.settings)) return false;
        } else if (arg == "--data-set") {
            if (!value(args.dataSet)) return false;
        } else if (arg == "--freedos") {
            if (!value(args.freeDos)) return false;
        } else if (arg == "--revision") {
            if (!value(args.revision)) return false;
            if (args.revision.empty() || args.revision.find_first_not_of("0123456789") != std::string::npos)
                return problem = "the revision is a number (0: the latest)", false;
        } else if (!arg.empty() && arg[0] == '-') {
            return problem = "unknown option " + arg, false;
        } else if (args.image.empty()) {
            args.image = arg;
        } else {
            return problem = "only one image file", false;
        }
    }
    if (args.image.empty()) return problem = "no image file named", false;
    if (args.mebibytes == 0 && !fs::is_regular_file(args.image))
        return problem = "--size is missing, and there is no image " + args.image + " to keep the size of", false;
    return true;
}

// The FreeDOS set that this build does not carry, read from a package file.
bool UseFreeDos(const std::string& package, std::string& bytes, std::string& error) {
    std::ifstream in(package, std::ios::binary);
    if (!in) return error = "cannot read " + package, false;
    bytes.assign(std::istreambuf_iterator<char>(in), {});
    if (!HasFreeDosPackage())
        SupplyFreeDosPackage({reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()});
    return true;
}

// Makes FILE.zip the chosen data set of a local repository of its own.
bool UseDataSet(const std::string& zip, const std::string& folder, std::string& error) {
    std::error_code ec;
    std::string name = fs::path(zip).filename().string();
    fs::create_directories(folder, ec);
    fs::copy_file(zip, folder + "/" + name, fs::copy_options::overwrite_existing, ec);
    if (ec) return error = "cannot read " + zip + ": " + ec.message(), false;
    sim::SetDriveRoot('R', folder);
    SetCloverLocalRepository("R:\\");
    InstallDataSet = "Local";
    int32_t revision = 0;
    if (!ScanLocalRepository() || !ChooseFoundDataSet(name, revision))
        return error = zip + " is no data set: its root entry \"boot\" names no \"Clover revision: \"", false;
    return true;
}

}  // namespace

int FormatCommand(int argc, char** argv) {
    Arguments args;
    std::string problem;
    if (!Parse(argc, argv, args, problem)) return Usage(problem, FormatUsage);
    if (!args.settings.empty() && !fs::is_regular_file(args.settings))
        return Usage("no settings file " + args.settings, FormatUsage);
    if (!args.dataSet.empty() && !fs::is_regular_file(args.dataSet))
        return Usage("no data set " + args.dataSet, FormatUsage);
    if (!args.freeDos.empty() && !fs::is_regular_file(args.freeDos))
        return Usage("no FreeDOS package " + args.freeDos, FormatUsage);

    Session session(args.settings);
    std::string error, freeDos;
    if (!session.LoadImagePc(args.image, args.mebibytes, error) ||
        (!args.dataSet.empty() && !UseDataSet(args.dataSet, session.Scratch() + "/repository", error)) ||
        (!args.freeDos.empty() && !UseFreeDos(args.freeDos, freeDos, error))) {
        std::fprintf(stderr, "velloran-image: %s\n", error.c_str());
        return UsageError;
    }
    struct ForgetFreeDos {
        ~ForgetFreeDos() { SupplyFreeDosPackage({}); }
    } forgetFreeDos;

    InstallRevision = args.revision;
    session.SelectDriveLine(0);
    FormatDrive(FormatInstallArgument(), CopySettings());

    bool synced = sim::SyncVolumes(&error);
    if (!synced) {
        std::fprintf(stderr, "velloran-image: the volume's files could not be written into the image: %s\n",
                     error.c_str());
        return 1;
    }
    // A stick without the data set it was made for does not boot, whatever the run's last words.
    if (session.SawStatusEndingWith(" Data set files Not Installed")) {
        std::fprintf(stderr, "velloran-image: the data set was not installed\n");
        return 1;
    }
    return session.LastStatus() == "All done" ? 0 : 1;
}

}  // namespace vu::tool
