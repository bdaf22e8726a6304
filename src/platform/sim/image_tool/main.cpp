// velloran-image OUT.img --size MiB [--settings FILE.ini] [--data-set FILE.zip] [--freedos FILE.pkg]
//
// Runs the program's format pipeline on the simulated PC, whose only USB stick is the image file,
// so that what the Format button writes can be inspected and booted on Linux. The settings come
// from FILE.ini through the program's own reader (defaults without it); --data-set makes FILE.zip
// the local data set to install; --freedos hands over the FreeDOS set, packed as the program's
// packages are (resources/packages/pack_package.py), which this build does not carry. Every
// status text and message box is printed as it appears, confirmations are answered OK, and the
// exit code is 0 exactly when the run ended with "All done", installed the data set it was asked
// for, and the volume's files were written into the image.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>

#include "app/event_loop.h"
#include "app/globals.h"
#include "app/main_window.h"
#include "app/operations.h"
#include "app/settings.h"
#include "app/settings_file.h"
#include "app/status_bar.h"
#include "disk/drive_list.h"
#include "embedded.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_disk_model.h"
#include "platform/sim/sim_disks.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_volume_sync.h"
#include "prepare/format_drive.h"
#include "prepare/local_repository.h"
#include "prepare/work_folder.h"

namespace fs = std::filesystem;
using namespace vu;

namespace {

constexpr int UsageError = 2;

struct Arguments {
    std::string image, settings, dataSet, freeDos;
    long long mebibytes = 0;
};

int Usage(const std::string& problem) {
    std::fprintf(stderr, "velloran-image: %s\nusage: velloran-image OUT.img --size MiB [--settings FILE.ini] "
                         "[--data-set FILE.zip] [--freedos FILE.pkg]\n", problem.c_str());
    return UsageError;
}

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
        } else if (!arg.empty() && arg[0] == '-') {
            return problem = "unknown option " + arg, false;
        } else if (args.image.empty()) {
            args.image = arg;
        } else {
            return problem = "only one image file", false;
        }
    }
    if (args.image.empty()) return problem = "no image file named", false;
    if (args.mebibytes == 0) return problem = "--size is missing", false;
    return true;
}

// Drive letters for the partitions the image already holds, as Windows would have mounted them:
// E: for partition 1, F: for partition 2, ...
std::string LettersOf(const std::string& image) {
    sim::detail::SimDisk disk;
    disk.image = image;
    auto layout = sim::detail::ReadLayout(disk);
    std::string letters;
    if (!layout) return letters;
    for (const auto& entry : layout->entries)
        if (entry.PartitionNumber != 0 && entry.PartitionNumber <= 'Z' - 'E' + 1)
            letters += std::string(letters.empty() ? "" : " ") + char('E' + entry.PartitionNumber - 1) + ":" +
                       std::to_string(entry.PartitionNumber);
    return letters;
}

// The image as the one USB stick of a PC whose system disk (C:, numbered after the stick so that
// the stick stays the first line of the drive list) is a small blank image of its own.
bool LoadImagePc(const Arguments& args, const std::string& folder, std::string& error) {
    std::error_code ec;
    if (!fs::exists(args.image)) std::ofstream(args.image, std::ios::binary).close();
    fs::resize_file(args.image, uintmax_t(args.mebibytes) << 20, ec);
    if (ec) return error = "cannot create " + args.image + ": " + ec.message(), false;
    std::string system = folder + "/system.img";
    std::ofstream(system, std::ios::binary).close();
    fs::resize_file(system, 1 << 20, ec);
    if (ec) return error = "cannot create " + system + ": " + ec.message(), false;
    std::string description = folder + "/pc.txt";
    std::ofstream(description) << "system-drive = C\n[disk 1]\nimage = " << fs::absolute(args.image).string()
                               << "\nbus = 7\nvendor = Velloran\nproduct = \"Image Stick\"\ndrive-type = 2\n"
                               << "letters = " << LettersOf(args.image) << "\n[disk 9]\nimage = " << system
                               << "\nbus = 11\nproduct = System\ndrive-type = 3\nletters = C:0\n";
    return sim::LoadPc(description, &error);
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

// Prints status texts and message boxes as the simulated window shows them.
class Transcript {
public:
    Transcript() {
        sim::OnCanvas([this](int gadget, const std::vector<plat::DrawOp>& picture) {
            if (gadget != StatusBarGadget) return;
            for (const auto& op : picture)
                if (op.kind == plat::DrawOp::Text) Status(op.text);
        });
        sim::OnMessage([](const sim::MessageRecord& box) {
            std::string text = box.text;
            for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.replace(at, 2, "\n  ");
            std::printf("[%s] %s\n", box.title.c_str(), text.c_str());
            std::fflush(stdout);
        });
    }
    bool AllDone() {
        std::lock_guard<std::mutex> l(lock_);
        return last_ == "All done";
    }
    // The run said that the data set it was to install is not on the volume.
    bool DataSetMissing() {
        std::lock_guard<std::mutex> l(lock_);
        return dataSetMissing_;
    }

private:
    void Status(const std::string& text) {
        std::lock_guard<std::mutex> l(lock_);
        if (text.empty() || text == last_) return;
        last_ = text;
        if (text.ends_with(" Data set files Not Installed")) dataSetMissing_ = true;
        std::printf("%s\n", text.c_str());
        std::fflush(stdout);
    }
    std::mutex lock_;
    std::string last_;
    bool dataSetMissing_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    Arguments args;
    std::string problem;
    if (!Parse(argc, argv, args, problem)) return Usage(problem);
    if (!args.settings.empty() && !fs::is_regular_file(args.settings)) return Usage("no settings file " + args.settings);
    if (!args.dataSet.empty() && !fs::is_regular_file(args.dataSet)) return Usage("no data set " + args.dataSet);
    if (!args.freeDos.empty() && !fs::is_regular_file(args.freeDos)) return Usage("no FreeDOS package " + args.freeDos);

    sim::Reset();
    std::string simRoot = fs::path(sim::DriveRoot('C')).parent_path().string();
    std::string scratch = simRoot + "-tool";
    fs::create_directories(scratch);
    auto cleanUp = [&] {
        DeleteWorkFolder();
        sim::Reset();
        std::error_code ec;
        fs::remove_all(simRoot, ec);
        fs::remove_all(scratch, ec);
    };

    RegisterOperations();
    SetSettingsStartValues();
    ReadProgramIdentity();
    if (!args.settings.empty()) fs::copy_file(args.settings, sim::HostPath(SettingsFilePath()));
    ReadSettings();

    std::string error, freeDos;
    if (!LoadImagePc(args, scratch, error) ||
        (!args.dataSet.empty() && !UseDataSet(args.dataSet, scratch + "/repository", error)) ||
        (!args.freeDos.empty() && !UseFreeDos(args.freeDos, freeDos, error))) {
        cleanUp();
        std::fprintf(stderr, "velloran-image: %s\n", error.c_str());
        return UsageError;
    }

    Transcript transcript;
    BuildMainWindow();
    FillDriveList();
    sim::SelectItem(DriveListGadget, 0);
    FormatDrive(FormatInstallArgument());

    bool synced = sim::SyncVolumes(&error);
    bool allDone = transcript.AllDone(), dataSetMissing = transcript.DataSetMissing();
    cleanUp();
    SupplyFreeDosPackage({});
    if (!synced) {
        std::fprintf(stderr, "velloran-image: the volume's files could not be written into the image: %s\n",
                     error.c_str());
        return 1;
    }
    // A stick without the data set it was made for does not boot, whatever the run's last words.
    if (dataSetMissing) {
        std::fprintf(stderr, "velloran-image: the data set was not installed\n");
        return 1;
    }
    return allDone ? 0 : 1;
}
