// Host programs for the simulated PC; see sim_host_tool.h.
#include "platform/sim/sim_host_tool.h"

#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vu::sim::detail {

int RunHostTool(const std::vector<std::string>& argv, std::string* output) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    int pipeEnds[2] = {-1, -1};
    if (output && pipe2(pipeEnds, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (output) {
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 2);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid;
    int started = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (output) {
        close(pipeEnds[1]);
        output->clear();
        char buffer[4096];
        for (ssize_t n; started == 0 && (n = read(pipeEnds[0], buffer, sizeof buffer)) != 0;)
            if (n > 0) output->append(buffer, size_t(n));
            else if (errno != EINTR) break;
        close(pipeEnds[0]);
    }
    if (started != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string AttachLoopDevice(const std::string& image, int64_t offset, int64_t length, std::string* error,
                             uint32_t sectorBytes) {
    std::string device;
    int code = RunHostTool({"losetup", "-f", "--show", "-b", std::to_string(sectorBytes), "-o", std::to_string(offset),
                            "--sizelimit", std::to_string(length), image},
                           &device);
    while (!device.empty() && std::isspace(static_cast<unsigned char>(device.back()))) device.pop_back();
    if (code == 0 && device.rfind("/dev/", 0) == 0) return device;
    if (error) *error = "losetup failed: " + device;
    return "";
}

bool DetachLoopDevice(const std::string& device) { return RunHostTool({"losetup", "-d", device}) == 0; }

}  // namespace vu::sim::detail
