// The simulated registry of the local machine, in memory. Key paths compare without regard to case,
// as Windows compares them.
#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "platform/registry.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_state.h"

namespace vu {
namespace {

std::string Fold(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

struct Registry {
    std::mutex lock;
    std::set<std::string> keys;
    std::map<std::pair<std::string, std::string>, sim::RegistryValue> values;
    std::vector<plat::RegistryFaultRestore> armed;  // of keys that existed when armed
    bool restored = false;
};

Registry& R() {
    static Registry registry;
    return registry;
}

using Lock = std::lock_guard<std::mutex>;

}  // namespace

namespace plat {

bool RegistryKeyExists(const std::string& path) {
    Lock l(R().lock);
    return R().keys.count(Fold(path)) != 0;
}

bool RegistryCreateKey(const std::string& path) {
    Lock l(R().lock);
    R().keys.insert(Fold(path));
    return true;
}

std::optional<std::string> RegistryReadText(const std::string& path, const std::string& name) {
    Lock l(R().lock);
    auto it = R().values.find({Fold(path), Fold(name)});
    if (it == R().values.end()) return std::nullopt;
    return it->second.isDword ? std::to_string(it->second.dword) : it->second.text;
}

bool RegistryWriteDword(const std::string& path, const std::string& name, uint32_t value) {
    Lock l(R().lock);
    if (!R().keys.count(Fold(path))) return false;
    R().values[{Fold(path), Fold(name)}] = {true, value, ""};
    return true;
}

bool RegistryDeleteValue(const std::string& path, const std::string& name) {
    Lock l(R().lock);
    return R().values.erase({Fold(path), Fold(name)}) != 0;
}

bool RegistryWriteText(const std::string& path, const std::string& name, const std::string& text) {
    Lock l(R().lock);
    if (!R().keys.count(Fold(path))) return false;
    R().values[{Fold(path), Fold(name)}] = {false, 0, text};
    return true;
}

bool RegistryDeleteKey(const std::string& path) {
    Lock l(R().lock);
    std::string key = Fold(path);
    if (!R().keys.count(key)) return false;
    auto inside = [&](const std::string& other) { return other == key || other.starts_with(key + "\\"); };
    std::erase_if(R().keys, inside);
    std::erase_if(R().values, [&](const auto& entry) { return inside(entry.first.first); });
    return true;
}

void ArmRegistryFaultRestores(const std::vector<RegistryFaultRestore>& restores) {
    Lock l(R().lock);
    R().armed.clear();
    for (const auto& restore : restores)
        if (R().keys.count(Fold(restore.path))) R().armed.push_back(restore);
    R().restored = false;
}

void DisarmRegistryFaultRestores() {
    Lock l(R().lock);
    R().armed.clear();
}

void RunRegistryFaultRestores() {
    Lock l(R().lock);
    if (std::exchange(R().restored, true)) return;
    for (const auto& restore : R().armed) {
        std::pair<std::string, std::string> at{Fold(restore.path), Fold(restore.name)};
        if (restore.dword) R().values[at] = {true, *restore.dword, ""};
        else R().values.erase(at);
    }
}

}  // namespace plat

namespace sim {

void detail::ResetRegistry() {
    Lock l(R().lock);
    R().keys.clear();
    R().values.clear();
    R().armed.clear();
    R().restored = false;
}

void RegistryPutKey(const std::string& path) {
    Lock l(R().lock);
    R().keys.insert(Fold(path));
}

void RegistryPut(const std::string& path, const std::string& name, RegistryValue value) {
    Lock l(R().lock);
    R().keys.insert(Fold(path));
    R().values[{Fold(path), Fold(name)}] = value;
}

std::optional<RegistryValue> RegistryGet(const std::string& path, const std::string& name) {
    Lock l(R().lock);
    auto it = R().values.find({Fold(path), Fold(name)});
    if (it == R().values.end()) return std::nullopt;
    return it->second;
}

bool RegistryHasKey(const std::string& path) {
    Lock l(R().lock);
    return R().keys.count(Fold(path)) != 0;
}

}  // namespace sim
}  // namespace vu
