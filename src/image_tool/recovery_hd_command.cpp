// velloran-image recovery-hd list
//
// The Recovery HD list update as the Download Center's "Update" runs it, against the configured
// hosts (VU_CATALOG_HOST, VU_APPLE_HOST; the user's catalog from --settings FILE.ini): prints the
// titles of the finished list, one a line, on standard output, and every status text and message
// box on standard error. Exit code 0 when every catalog, metadata and distribution file was read,
// 1 when one failed (the titles are printed all the same).
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "commands.h"
#include "tool_session.h"

#include "app/main_window.h"
#include "core/status_bar.h"
#include "net/recovery_list.h"
#include "net/recovery_update.h"
#include "platform/sim/sim.h"

namespace vu::tool {

const char* const RecoveryHdUsage = "velloran-image recovery-hd list [--settings FILE.ini]";

int RecoveryHdCommand(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "list") != 0) return Usage("recovery-hd takes list", RecoveryHdUsage);
    std::string settings;
    if (argc == 4 && std::strcmp(argv[2], "--settings") == 0) settings = argv[3];
    else if (argc != 2) return Usage("list takes only --settings FILE.ini", RecoveryHdUsage);

    Session session(settings);
    BuildMainWindow();  // its status bar shows the update's progress
    std::mutex lock;
    bool failed = false;
    // The transcript goes to standard error, so that standard output holds the titles alone.
    sim::OnCanvas([&](int gadget, const std::vector<plat::DrawOp>& picture) {
        if (gadget != StatusBarGadget) return;
        for (const auto& op : picture) {
            if (op.kind != plat::DrawOp::Text || op.text.empty()) continue;
            std::fprintf(stderr, "%s\n", op.text.c_str());
            std::lock_guard<std::mutex> l(lock);
            if (op.text.find("... Error:") != std::string::npos) failed = true;
        }
    });
    sim::OnMessage([&](const sim::MessageRecord& box) {
        std::fprintf(stderr, "[%s] %s\n", box.title.c_str(), box.text.c_str());
        std::lock_guard<std::mutex> l(lock);
        failed = true;
    });
    UpdateRecoveryList();
    for (const RecoveryEntry& entry : RecoveryList.Entries()) std::printf("%s\n", entry.Title.c_str());
    std::fflush(stdout);
    sim::OnCanvas({});
    sim::OnMessage({});
    return failed ? 1 : 0;
}

}  // namespace vu::tool
