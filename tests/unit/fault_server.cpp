// Starting and driving the fault server; see fault_server.h.
#include "fault_server.h"

#include <curl/curl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>

extern char** environ;

namespace vu::test {

FaultServer::FaultServer(const std::string& root, const std::string& script) {
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, in[1]);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const char* argv[] = {VU_PYTHON, script.c_str(), "--root", root.c_str(), nullptr};
    pid_t pid = 0;
    int spawned = posix_spawn(&pid, VU_PYTHON, &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    input_ = in[1];
    if (spawned != 0) {
        close(out[0]);
        return;
    }
    pid_ = pid;
    FILE* output = fdopen(out[0], "r");
    char line[64] = {};
    if (output && std::fgets(line, sizeof line, output)) std::sscanf(line, "PORT %d", &port_);
    if (output) std::fclose(output);
}

FaultServer::~FaultServer() {
    if (input_ >= 0) close(input_);
    if (pid_ > 0) {
        int status = 0;
        for (int i = 0; i < 100 && waitpid(pid_, &status, WNOHANG) == 0; i++) usleep(20000);
        if (waitpid(pid_, &status, WNOHANG) == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
    }
}

namespace {

size_t Collect(char* data, size_t size, size_t count, void* context) {
    static_cast<std::string*>(context)->append(data, size * count);
    return size * count;
}

}  // namespace

std::string FaultServer::Control(const std::string& path, const std::string& body, bool post) {
    std::string answer;
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, Url(path).c_str());
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer);
    if (post) curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    return answer;
}

void FaultServer::SetRules(const std::string& json) {
    Control("/__control/reset", "", true);
    Control("/__control/rules", json, true);
}

std::vector<FaultServer::Request> FaultServer::Log() {
    std::vector<Request> requests;
    std::istringstream lines(Control("/__control/log", "", false));
    for (std::string line; std::getline(lines, line);) {
        Request r;
        std::istringstream fields(line);
        std::getline(fields, r.method, '\t');
        std::getline(fields, r.path, '\t');
        std::getline(fields, r.range, '\t');
        std::getline(fields, r.authorization, '\t');
        requests.push_back(r);
    }
    return requests;
}

}  // namespace vu::test
