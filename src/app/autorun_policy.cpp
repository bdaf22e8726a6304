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
// The value found at start is kept here while the program runs, as text ("" when there was
// none): a run that is killed or loses power cannot put the policy back, and the next start does.
// Under the local machine, as the policy is: the next start may be another user's.
const std::string kOwnKey = "HKEY_LOCAL_MACHINE\\Software\\Velloran Utility";
const char* const kKeptValueName = "SavedNoDriveTypeAutoRun";

std::optional<uint32_t> AsDword(const std::optional<std::string>& text) {
    if (!text) return std::nullopt;
    return uint32_t(std::strtoul(text->c_str(), nullptr, 10));
}

// A value that did not exist is deleted again rather than written as 0: a 0 would switch AutoRun
// on for every drive type for a user who never had the policy.
void PutBack(const std::optional<std::string>& value) {
    if (!value) plat::RegistryDeleteValue(ExplorerPoliciesKey, kValueName);
    else plat::RegistryWriteDword(ExplorerPoliciesKey, kValueName, *AsDword(value));
}

// What a run that ended without its shutdown left: the policy goes back to the value it kept,
// unless somebody has set the policy since.
void RecoverKeptPolicy() {
    auto kept = plat::RegistryReadText(kOwnKey, kKeptValueName);
    if (!kept) return;
    if (plat::RegistryReadText(ExplorerPoliciesKey, kValueName) == std::to_string(kAllDrivesOff))
        PutBack(kept->empty() ? std::optional<std::string>() : kept);
}

}  // namespace

void SwitchAutoRunOff() {
    if (!plat::RegistryKeyExists(ExplorerPoliciesKey)) plat::RegistryCreateKey(ExplorerPoliciesKey);
    RecoverKeptPolicy();
    SavedAutoRunPolicy = plat::RegistryReadText(ExplorerPoliciesKey, kValueName);
    // Kept before it is switched off, so that no moment passes with the policy off and unkept.
    plat::RegistryCreateKey(kOwnKey);
    plat::RegistryWriteText(kOwnKey, kKeptValueName, SavedAutoRunPolicy.value_or(""));
    plat::RegistryWriteDword(ExplorerPoliciesKey, kValueName, kAllDrivesOff);
    plat::ArmRegistryFaultRestores({{ExplorerPoliciesKey, kValueName, AsDword(SavedAutoRunPolicy)},
                                    {kOwnKey, kKeptValueName, std::nullopt}});
    switchedOff = true;
}

void RestoreAutoRunPolicy() {
    if (!switchedOff.exchange(false)) return;
    plat::DisarmRegistryFaultRestores();
    if (plat::RegistryReadText(ExplorerPoliciesKey, kValueName) != SavedAutoRunPolicy) PutBack(SavedAutoRunPolicy);
    // Only once the policy is back: a run ended between the two leaves a kept value that the next
    // start finds already in place.
    plat::RegistryDeleteKey(kOwnKey);
}

}  // namespace vu
