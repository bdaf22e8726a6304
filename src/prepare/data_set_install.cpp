// The install phase of a format run; see data_set_install.h.
#include "prepare/data_set_install.h"

#include "core/globals.h"
#include "core/operations.h"
#include "core/status_bar.h"
#include "embedded.h"
#include "platform/files.h"
#include "prepare/archive_extract.h"
#include "prepare/local_repository.h"

namespace vu {

namespace {

bool InstallClover(const SettingsRecord& settings, const std::string& volume) {
    if (settings.InstallDataSet == "Local")
        return ExtractArchive(nullptr, 0, volume, false, RepositoryDataSetPath(), true, false);
    // Downloads belong to the network subsystem; a build without it installs nothing from there.
    return Ops.installDownloadedDataSet && Ops.installDownloadedDataSet(settings, volume);
}

// A stick without the data set it was asked for is no finished stick: the run must not end with
// "All done".
void NotInstalled(const std::string& text) {
    ShowStatus(text, StatusPauseMs);
    FormatFailed = 1;
}

}  // namespace

void WriteVolumeMarkers(const std::string& volume) {
    std::string root = volume + "\\";
    if (plat::WriteWholeFile(root + ".metadata_never_index", "")) plat::SetHidden(root + ".metadata_never_index", true);
    if (plat::CreateFolder(root + ".fseventsd")) plat::SetHidden(root + ".fseventsd", true);
    if (plat::WriteWholeFile(root + ".fseventsd\\no_log", "")) plat::SetHidden(root + ".fseventsd\\no_log", true);
}

void InstallDataSetPhase(int32_t installDataSet, const SettingsRecord& settings, const std::string& volume) {
    if (settings.Boot_records == "FreeDos") {
        EmbeddedSpan package = FreeDosPackage();
        // The extraction stops at a cancel and still answers true: a cancelled set is no set.
        bool ok = !package.empty() && ExtractArchive(package.data, package.size, volume, true, "", true, false) &&
                  !FormatFailed;
        if (ok) ShowStatus("FreeDos Data set files Installed", StatusPauseMs);
        else NotInstalled("FreeDos Data set files Not Installed");
        return;
    }
    if (installDataSet != 1) return;
    if (settings.InstallDataSet != "Local" && settings.InstallDataSet != "DL") return;
    if (!InstallClover(settings, volume) || FormatFailed) return NotInstalled("Clover Data set files Not Installed");
    WriteVolumeMarkers(volume);
    ShowStatus("Clover Data set files Installed", StatusPauseMs);
}

}  // namespace vu
