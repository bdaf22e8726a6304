// The seam's registry over advapi32, local machine only. Paths arrive as full texts; values are
// read back as text (REG_DWORD in decimal). KEY_WOW64_64KEY makes the 32-bit program see the same
// keys as the system's own 64-bit tools. Callable from the main thread.
#include <windows.h>

#include <cstring>
#include <cwchar>
#include <iterator>

#include "platform/registry.h"
#include "platform/win32/wide.h"

namespace vu::plat {

namespace {

// Splits "HKEY_LOCAL_MACHINE\Sub\Key" into the local-machine root and "Sub\Key"; false for
// any other root, which the program does not use.
bool LocalMachinePath(const std::string& path, std::wstring& subKey) {
    for (const char* root : {"HKEY_LOCAL_MACHINE\\", "HKLM\\"}) {
        size_t length = std::strlen(root);
        if (path.size() >= length && _strnicmp(path.c_str(), root, length) == 0) {
            subKey = Widen(path.substr(length));
            return true;
        }
    }
    return false;
}

HKEY OpenKey(const std::string& path, REGSAM access) {
    std::wstring subKey;
    if (!LocalMachinePath(path, subKey)) return nullptr;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, access | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

}  // namespace

bool RegistryKeyExists(const std::string& path) {
    HKEY key = OpenKey(path, KEY_READ);
    if (!key) return false;
    RegCloseKey(key);
    return true;
}

bool RegistryCreateKey(const std::string& path) {
    std::wstring subKey;
    if (!LocalMachinePath(path, subKey)) return false;
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE | KEY_WOW64_64KEY, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::optional<std::string> RegistryReadText(const std::string& path, const std::string& name) {
    HKEY key = OpenKey(path, KEY_QUERY_VALUE);
    if (!key) return std::nullopt;
    std::wstring valueName = Widen(name);
    DWORD type = 0, size = 0;
    std::optional<std::string> result;
    if (RegQueryValueExW(key, valueName.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        std::wstring buffer(size / sizeof(wchar_t) + 2, L'\0');
        DWORD bytes = DWORD(buffer.size() * sizeof(wchar_t));
        if (RegQueryValueExW(key, valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                             &bytes) == ERROR_SUCCESS) {
            if (type == REG_DWORD && bytes >= 4) {
                result = std::to_string(*reinterpret_cast<const uint32_t*>(buffer.data()));
            } else if (type == REG_QWORD && bytes >= 8) {
                result = std::to_string(*reinterpret_cast<const uint64_t*>(buffer.data()));
            } else if (type == REG_SZ || type == REG_EXPAND_SZ) {
                buffer.resize(bytes / sizeof(wchar_t));
                while (!buffer.empty() && buffer.back() == L'\0') buffer.pop_back();
                result = Narrow(buffer);
            } else {
                result = "";  // the value exists but has no text form
            }
        }
    }
    RegCloseKey(key);
    return result;
}

bool RegistryWriteDword(const std::string& path, const std::string& name, uint32_t value) {
    HKEY key = OpenKey(path, KEY_SET_VALUE);
    if (!key) return false;
    std::wstring valueName = Widen(name);
    DWORD data = value;
    bool ok = RegSetValueExW(key, valueName.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                             sizeof data) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

bool RegistryDeleteValue(const std::string& path, const std::string& name) {
    HKEY key = OpenKey(path, KEY_SET_VALUE);
    if (!key) return false;
    bool ok = RegDeleteValueW(key, Widen(name).c_str()) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

bool RegistryWriteText(const std::string& path, const std::string& name, const std::string& text) {
    HKEY key = OpenKey(path, KEY_SET_VALUE);
    if (!key) return false;
    std::wstring valueName = Widen(name), data = Widen(text);
    bool ok = RegSetValueExW(key, valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                             DWORD((data.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

// A service key gains subkeys once Windows has loaded its driver ("Enum"), which RegDeleteKeyEx
// alone refuses to delete: the subtree goes first, then the key in the 64-bit view.
bool RegistryDeleteKey(const std::string& path) {
    std::wstring subKey;
    if (!LocalMachinePath(path, subKey)) return false;
    HKEY key = OpenKey(path, DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | KEY_SET_VALUE);
    if (!key) return false;
    LSTATUS tree = RegDeleteTreeW(key, nullptr);
    RegCloseKey(key);
    return tree == ERROR_SUCCESS && RegDeleteKeyExW(HKEY_LOCAL_MACHINE, subKey.c_str(), KEY_WOW64_64KEY, 0) == ERROR_SUCCESS;
}

// ---- Fault restores -----------------------------------------------------------------------

namespace {

struct ArmedRestore {
    HKEY key = nullptr;
    wchar_t name[64] = {};
    bool set = false;
    DWORD value = 0;
};
ArmedRestore g_armed[4];
LONG volatile g_armedCount = 0;
LONG volatile g_restored = 0;

}  // namespace

void ArmRegistryFaultRestores(const std::vector<RegistryFaultRestore>& restores) {
    DisarmRegistryFaultRestores();
    LONG count = 0;
    for (const RegistryFaultRestore& restore : restores) {
        std::wstring name = Widen(restore.name);
        if (count == LONG(std::size(g_armed)) || name.size() >= std::size(g_armed[0].name)) continue;
        HKEY key = OpenKey(restore.path, KEY_SET_VALUE);
        if (!key) continue;
        ArmedRestore& armed = g_armed[count++];
        armed.key = key;
        std::wcsncpy(armed.name, name.c_str(), std::size(armed.name));
        armed.set = restore.dword.has_value();
        armed.value = restore.dword.value_or(0);
    }
    InterlockedExchange(&g_restored, 0);
    InterlockedExchange(&g_armedCount, count);
}

void DisarmRegistryFaultRestores() {
    LONG count = InterlockedExchange(&g_armedCount, 0);
    for (LONG i = 0; i < count; ++i) {
        RegCloseKey(g_armed[i].key);
        g_armed[i] = {};
    }
}

void RunRegistryFaultRestores() {
    if (InterlockedExchange(&g_restored, 1) != 0) return;
    LONG count = g_armedCount;
    for (LONG i = 0; i < count; ++i) {
        const ArmedRestore& armed = g_armed[i];
        if (armed.set)
            RegSetValueExW(armed.key, armed.name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&armed.value),
                           sizeof armed.value);
        else
            RegDeleteValueW(armed.key, armed.name);
    }
}

}  // namespace vu::plat
