// The seam's registry, local machine only. Paths are full texts such as
// "HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Policies\Explorer".
// Callable from the main thread; RunRegistryFaultRestores from any.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vu::plat {

bool RegistryKeyExists(const std::string& path);
bool RegistryCreateKey(const std::string& path);
// The value as text (a REG_DWORD in decimal, a string as it is); nullopt when it does not exist.
std::optional<std::string> RegistryReadText(const std::string& path, const std::string& name);
bool RegistryWriteDword(const std::string& path, const std::string& name, uint32_t value);
bool RegistryDeleteValue(const std::string& path, const std::string& name);
bool RegistryWriteText(const std::string& path, const std::string& name, const std::string& text);  // REG_SZ
// Deletes the key with its values and every key below it; false when it does not exist.
bool RegistryDeleteKey(const std::string& path);

// A value the crash report puts back before anything else: set to `dword`, or deleted when there
// is none. The faulting thread may hold the heap's or the loader's lock, so the keys are opened
// when the restores are armed, and running them allocates nothing and takes neither lock.
struct RegistryFaultRestore {
    std::string path, name;
    std::optional<uint32_t> dword;
};
// Arming again replaces what was armed; disarming closes the keys.
void ArmRegistryFaultRestores(const std::vector<RegistryFaultRestore>& restores);
void DisarmRegistryFaultRestores();
// Puts the armed values back, once: later calls do nothing.
void RunRegistryFaultRestores();

}  // namespace vu::plat
