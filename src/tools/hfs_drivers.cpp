// The HFS+ driver services; see hfs_drivers.h.
#include "tools/hfs_drivers.h"

#include "core/gadget_numbers.h"
#include "core/globals.h"
#include "platform/files.h"
#include "platform/gui.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "prepare/archive_extract.h"

namespace vu {

namespace {

const char* const kBoxTitle = "Boot Camp HFS+ ReadOnly drivers";
const char* const kNoDrivers = "This copy of Velloran Utility carries no HFS+ drivers for this Windows.";

struct ServiceValue {
    const char* name;
    bool isText;
    uint32_t number;
    const char* text;
};

struct Service {
    const std::string& key;
    const char* file;
    ServiceValue values[4];
};

// Both services start at boot; AppleHFS is the file-system driver (type 2), AppleMNT the kernel
// driver (type 1) that mounts HFS+ partitions for it. In the order they are written.
const Service kServices[] = {
    {AppleHfsServiceKey,
     "AppleHFS.sys",
     {{"Type", false, 2, nullptr},
      {"ErrorControl", false, 1, nullptr},
      {"Start", false, 0, nullptr},
      {"Group", true, 0, "File System"}}},
    {AppleMntServiceKey,
     "AppleMNT.sys",
     {{"Group", true, 0, "System Bus Extender"},
      {"Type", false, 1, nullptr},
      {"ErrorControl", false, 1, nullptr},
      {"Start", false, 0, nullptr}}},
};

bool WriteService(const Service& service) {
    bool ok = plat::RegistryCreateKey(service.key);
    for (const auto& v : service.values)
        ok = (v.isText ? plat::RegistryWriteText(service.key, v.name, v.text)
                       : plat::RegistryWriteDword(service.key, v.name, v.number)) && ok;
    return ok;
}

void ShowFailure(const std::string& text) { plat::MessageBox("Error", text, plat::MbIconError); }

}  // namespace

HfsDriverPackages CarriedHfsDriverPackages() { return {HfsDriversX86Package(), HfsDriversX64Package()}; }

std::string HfsDriversFolder() {
    std::string system = plat::SystemDirectory();
    if (system.empty()) return "";
    if (system.size() > 260) system.resize(260);
    while (!system.empty() && system.back() == '\\') system.pop_back();
    if (plat::RunsUnderWow64()) {
        size_t slash = system.find_last_of('\\');
        system = (slash == std::string::npos ? "" : system.substr(0, slash + 1)) + "Sysnative";
    }
    return system + "\\drivers\\";
}

bool InstallHfsDrivers() { return InstallHfsDrivers(CarriedHfsDriverPackages()); }

bool InstallHfsDrivers(const HfsDriverPackages& packages) {
    std::string folder = HfsDriversFolder();
    if (folder.empty()) {
        ShowFailure("Failed to install HFS+ drivers.");
        UpdateHfsDriverMenu(packages);
        return false;
    }
    EmbeddedSpan package = plat::Is64BitWindows() ? packages.x64 : packages.x86;
    if (package.empty()) {
        // Checked before anything is written: services without their files would only make
        // Windows report a missing boot driver at every start.
        ShowFailure(std::string("Failed to install HFS+ drivers.\r\n") + kNoDrivers);
        UpdateHfsDriverMenu(packages);
        return false;
    }
    if (plat::MessageBox(kBoxTitle,
                         "Do you want to Install the Boot Camp HFS+ ReadOnly drivers?\r\n"
                         "To Continue with this operation, click OK.\r\nTo Quit click CANCEL.",
                         plat::MbOkCancel | plat::MbIconWarning) != plat::IdOk) {
        UpdateHfsDriverMenu(packages);
        return true;
    }

    bool existed[2], ok = true;
    for (int i = 0; i < 2; i++) existed[i] = plat::RegistryKeyExists(kServices[i].key);
    for (const auto& service : kServices) ok = WriteService(service) && ok;
    if (ok) ok = ExtractArchive(package.data, package.size, folder, true, "", true, true);
    for (const auto& service : kServices) ok = ok && plat::FileExists(folder + service.file);

    if (ok) {
        plat::MessageBox("WARNING", "To complete the install HFS+ drivers, you need to restart the computer.",
                         plat::MbIconInformation);
    } else {
        // A service whose driver file is missing makes Windows complain at every start: the keys
        // this run created go again. Keys that were there before belong to an earlier install.
        for (int i = 0; i < 2; i++)
            if (!existed[i]) plat::RegistryDeleteKey(kServices[i].key);
        ShowFailure("Failed to install HFS+ drivers.");
    }
    UpdateHfsDriverMenu(packages);
    return ok;
}

bool RemoveHfsDrivers() { return RemoveHfsDrivers(CarriedHfsDriverPackages()); }

bool RemoveHfsDrivers(const HfsDriverPackages& packages) {
    std::string folder = HfsDriversFolder();
    bool ok = !folder.empty();
    if (ok) {
        for (const auto& service : kServices) plat::DeleteFile(folder + service.file);
        for (const auto& service : kServices)
            ok = plat::RegistryKeyExists(service.key) && plat::RegistryDeleteKey(service.key) && ok;
    }
    if (ok)
        plat::MessageBox("WARNING", "To complete the remove HFS drivers, you need to restart the computer.",
                         plat::MbIconInformation);
    else
        ShowFailure("Failed to remove HFS+ drivers.");
    UpdateHfsDriverMenu(packages);
    return ok;
}

void UpdateHfsDriverMenu() { UpdateHfsDriverMenu(CarriedHfsDriverPackages()); }

void UpdateHfsDriverMenu(const HfsDriverPackages& packages) {
    std::string folder = HfsDriversFolder();
    bool installed = false;
    if (!folder.empty())
        for (const auto& service : kServices)
            installed = installed || (plat::FileExists(folder + service.file) && plat::RegistryKeyExists(service.key));
    bool carried = !(plat::Is64BitWindows() ? packages.x64 : packages.x86).empty();
    plat::DisableMenuItem(MainMenu, MenuInstallHfsDrivers, installed || !carried);
    plat::SetMenuItemToolTip(MainMenu, MenuInstallHfsDrivers, installed || carried ? "" : kNoDrivers);
    plat::DisableMenuItem(MainMenu, MenuUninstallHfsDrivers, !installed);
}

}  // namespace vu
