// velloran-image recovery-hd list [--settings FILE.ini]
// velloran-image recovery-hd get N OUTDIR [--settings FILE.ini]
// velloran-image recovery-hd extract BaseSystem.dmg BaseSystem.chunklist OUTDIR
//
// Both run the Recovery HD list update as the Download Center's "Update" runs it, against the
// configured hosts (VU_CATALOG_HOST, VU_APPLE_HOST; the user's catalog from --settings FILE.ini).
// list prints the titles of the finished list, one a line, on standard output; exit code 0 when
// every catalog, metadata and distribution file was read, 1 when one failed (the titles are
// printed all the same). get then does what "DL" does on entry N of that finished list, counted
// from 1 as list prints it, with OUTDIR as the image folder: it prints the chosen title on
// standard error, the written image's path on standard output, and exits 0 only when the image
// was written. extract does what "DL" on an entry of Apple's recovery server does once the image
// and its chunk list are in: the list's signature, the image's chunks, the HFS partition named
// after its build in OUTDIR (its path printed; exit 0 only when it was written). Every status
// text and message box goes to standard error.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>

#include "commands.h"
#include "tool_session.h"

#include "app/main_window.h"
#include "core/settings.h"
#include "core/status_bar.h"
#include "net/recovery_list.h"
#include "net/recovery_update.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_files.h"
#include "tools/recovery_hd_download.h"
#include "tools/recovery_server_image.h"

namespace fs = std::filesystem;

namespace vu::tool {

const char* const RecoveryHdUsage =
    "velloran-image recovery-hd list [--settings FILE.ini] | recovery-hd get N OUTDIR [--settings FILE.ini] | "
    "recovery-hd extract IMAGE.dmg LIST.chunklist OUTDIR";

namespace {

// The transcript on standard error; `updateFailed` is set by a failed fetch of the list update.
class Transcript {
public:
    Transcript() {
        sim::OnCanvas([this](int gadget, const std::vector<plat::DrawOp>& picture) {
            if (gadget != StatusBarGadget) return;
            for (const auto& op : picture) {
                if (op.kind != plat::DrawOp::Text || op.text.empty()) continue;
                std::fprintf(stderr, "%s\n", op.text.c_str());
                std::lock_guard<std::mutex> l(lock_);
                if (op.text.find("... Error:") != std::string::npos) failed_ = true;
            }
        });
        sim::OnMessage([this](const sim::MessageRecord& box) {
            std::fprintf(stderr, "[%s] %s\n", box.title.c_str(), box.text.c_str());
            std::lock_guard<std::mutex> l(lock_);
            failed_ = true;
        });
    }
    ~Transcript() {
        sim::OnCanvas({});
        sim::OnMessage({});
    }
    bool Failed() {
        std::lock_guard<std::mutex> l(lock_);
        return failed_;
    }

private:
    std::mutex lock_;
    bool failed_ = false;
};

int ExtractCommand(const std::vector<std::string>& args) {
    if (args.size() != 4) return Usage("extract takes an image, its chunk list and an output folder", RecoveryHdUsage);
    std::ifstream in(args[2], std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {}), error;
    if (!in || !fs::is_regular_file(args[1])) return Usage("no files " + args[1] + " and " + args[2], RecoveryHdUsage);
    if (!fs::is_directory(args[3])) return Usage("no folder " + args[3], RecoveryHdUsage);
    Session session;
    BuildMainWindow();
    Transcript transcript;
    Chunklist list;
    if (!TrustServerChunklist(bytes, list, error)) {
        std::fprintf(stderr, "velloran-image: %s: %s\n", args[2].c_str(), error.c_str());
        return 1;
    }
    sim::SetDriveRoot('D', fs::absolute(args[1]).parent_path().string());
    sim::SetDriveRoot('O', fs::absolute(args[3]).string());
    RecoveryHdExtraction result =
        ExtractServerImage("D:\\" + fs::path(args[1]).filename().string(), list, "O:\\");
    if (result.outcome != RecoveryHdExtraction::Done) {
        std::fprintf(stderr, "velloran-image: %s\n", result.error.c_str());
        return 1;
    }
    std::printf("%s\n", sim::HostPath(result.imagePath).c_str());
    std::fflush(stdout);
    return 0;
}

}  // namespace

int RecoveryHdCommand(int argc, char** argv) {
    std::string settings;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--settings") == 0 && i + 1 < argc) settings = argv[++i];
        else if (argv[i][0] == '-')
            return Usage(std::string("unknown option ") + argv[i], RecoveryHdUsage);
        else args.push_back(argv[i]);
    }
    if (!args.empty() && args[0] == "extract") return ExtractCommand(args);
    bool get = !args.empty() && args[0] == "get";
    if (args.empty() || (args[0] != "list" && !get))
        return Usage("recovery-hd takes list, get or extract", RecoveryHdUsage);
    if (!get && args.size() != 1) return Usage("list takes only --settings FILE.ini", RecoveryHdUsage);
    size_t number = 0;
    if (get) {
        if (args.size() != 3) return Usage("get takes an entry number and an output folder", RecoveryHdUsage);
        if (args[1].empty() || args[1].size() > 6 || args[1].find_first_not_of("0123456789") != std::string::npos ||
            (number = std::stoul(args[1])) == 0)
            return Usage("the entry number counts from 1", RecoveryHdUsage);
        if (!fs::is_directory(args[2])) return Usage("no folder " + args[2], RecoveryHdUsage);
    }

    Session session(settings);
    BuildMainWindow();  // its status bar shows the progress
    Transcript transcript;
    UpdateRecoveryList(CopySettings());
    std::vector<RecoveryEntry> entries = RecoveryList.Entries();
    if (!get) {
        for (const RecoveryEntry& entry : entries) std::printf("%s\n", entry.Title.c_str());
        std::fflush(stdout);
        return transcript.Failed() ? 1 : 0;
    }

    if (number > entries.size()) {
        std::fprintf(stderr, "velloran-image: the list holds %zu entries, not %zu\n", entries.size(), number);
        return 1;
    }
    const RecoveryEntry& entry = entries[number - 1];
    std::fprintf(stderr, "velloran-image: entry %zu: %s\n", number, entry.Title.c_str());
    sim::SetDriveRoot('O', fs::absolute(args[2]).string());
    ZarnImageLocalRepo = "O:\\";
    std::string image;
    if (!DownloadRecoveryHd(entry, CopySettings(), &image)) return 1;
    std::printf("%s\n", sim::HostPath(image).c_str());
    std::fflush(stdout);
    return 0;
}

}  // namespace vu::tool
