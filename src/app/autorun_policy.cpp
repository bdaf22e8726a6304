// The AutoRun policy; see autorun_policy.h.
#include "app/autorun_policy.h"

#include <atomic>
#include <cstdlib>

#include "core/globals.h"
#include "platform/registry.h"

namespace vu {

std::optional<std::string> SavedAutoRunPolicy;

namespace {
// Set between the switch and the restore: a restore before the switch (a fault early in start-up)
// or a second one (the session's end, then the crash report or the loop's end) changes nothing.
std::atomic<bool> switchedOff{false};
const char* const kValueName = "NoDriveTypeAutoRun";
constexpr uint32_t kAllDrivesOff = 255;
}  // namespace

void SwitchAutoRunOff() {
    if (!plat::RegistryKeyExists(ExplorerPoliciesKey)) plat::RegistryCreateKey(ExplorerPoliciesKey);
    SavedAutoRunPolicy = plat::RegistryReadText(ExplorerPoliciesKey, kValueName);
    plat::RegistryWriteDword(ExplorerPoliciesKey, kValueName, kAllDrivesOff);
    switchedOff = true;
}

// A value that did not exist at start is deleted again rather than written as 0: a 0 would switch
// AutoRun on for every drive type for a user who never had the policy.
void RestoreAutoRunPolicy() {
    if (!switchedOff.exchange(false)) return;
    auto current = plat::RegistryReadText(ExplorerPoliciesKey, kValueName);
    if (current == SavedAutoRunPolicy) return;
    if (!SavedAutoRunPolicy) {
        plat::RegistryDeleteValue(ExplorerPoliciesKey, kValueName);
        return;
    }
    plat::RegistryWriteDword(ExplorerPoliciesKey, kValueName,
                             uint32_t(std::strtoul(SavedAutoRunPolicy->c_str(), nullptr, 10)));
}

}  // namespace vu
