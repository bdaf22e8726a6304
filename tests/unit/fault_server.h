// The fault-injecting HTTP server of tests/net/fault_server.py, started by a native test on a port
// of its own and ended with the object. Rules and the request log go through its control paths.
#pragma once
#include <string>
#include <vector>

namespace vu::test {

class FaultServer {
public:
    // Serves the files below `root`.
    explicit FaultServer(const std::string& root);
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

}  // namespace vu::test
