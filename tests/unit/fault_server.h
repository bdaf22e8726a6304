// The fault-injecting HTTP server of tests/net/fault_server.py, started by a native test on a port
// of its own and ended with the object. Rules and the request log go through its control paths.
#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

namespace vu::test {

class FaultServer {
public:
    // Serves the files below `root`; `script` is fault_server.py or a server built on it.
    explicit FaultServer(const std::string& root, const std::string& script = VU_FAULT_SERVER);
    ~FaultServer();
    FaultServer(const FaultServer&) = delete;
    FaultServer& operator=(const FaultServer&) = delete;

    bool Running() const { return port_ != 0; }
    std::string Origin() const { return "http://127.0.0.1:" + std::to_string(port_); }
    std::string Url(const std::string& path) const { return Origin() + path; }

    // Replaces the rules by a JSON list (see fault_server.py); also forgets the log.
    void SetRules(const std::string& json);

    struct Request {
        std::string method, path, range, authorization;  // "-" for a missing header
    };
    std::vector<Request> Log();

private:
    std::string Control(const std::string& path, const std::string& body, bool post);

    int pid_ = 0, input_ = -1, port_ = 0;
};

// A test suite whose tests share one temporary folder served by a FaultServer, from before the
// first test until after the last. A suite that needs files there defines `static void Seed()`,
// which runs once the server answers (so it may write addresses of the server into them), and
// may name another server script with `static const char* Script()`.
template <class Suite>
class ServedSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string pattern = std::filesystem::temp_directory_path().string() + "/vu-served-XXXXXX";
        root_ = mkdtemp(pattern.data());
        server_ = new FaultServer(root_, Suite::Script());
        Suite::Seed();
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
        std::filesystem::remove_all(root_);
    }
    static void Seed() {}
    static const char* Script() { return VU_FAULT_SERVER; }

    static inline std::string root_;
    static inline FaultServer* server_ = nullptr;
};

}  // namespace vu::test
