// Building and opening the Configuration window; see configuration_window.h.
#include "app/configuration_window.h"

#include <string>

#include "app/main_window.h"
#include "app/repository_list.h"
#include "core/gadget_table.h"
#include "core/settings.h"
#include "net/download_hosts.h"
#include "net/found_revisions.h"
#include "platform/gui.h"
#include "platform/gui_text_limit.h"

namespace vu {

namespace {

using plat::GadgetKind;

constexpr uint32_t Rgb(int r, int g, int b) { return uint32_t(r) | uint32_t(g) << 8 | uint32_t(b) << 16; }


// The "Clover Bootloader Source" frame, created first.
const GadgetSpec kSourceGadgets[] = {
    {SourceFrame, GadgetKind::Frame, {5, 5, 265, 170}, "Clover Bootloader Source", ""},
    {LocalOption, GadgetKind::Option, {15, 25, 40, 21}, "Local", "Local Repository"},
    {DlOption, GadgetKind::Option, {15, 55, 35, 20}, "DL", nullptr},
    {NotInstallOption, GadgetKind::Option, {15, 146, 80, 20}, "Not Install", "Format Disk Only"},
    {FoundDataSetsCombo, GadgetKind::ComboBox, {60, 25, 125, 20}, "", "Select Found Dist"},
    {DataSetInfoText, GadgetKind::Text, {193, 28, 70, 15}, "", ""},
    {RevisionsCombo, GadgetKind::ComboBox, {60, 55, 55, 20}, "", "Select Revision for Download"},
};

// Everything after the check date and the link, in the order of creation.
const GadgetSpec kOtherGadgets[] = {
    {CheckFrame, GadgetKind::Frame, {15, 75, 245, 65}, "", ""},
    {CheckAtStartupBox, GadgetKind::CheckBox, {30, 85, 110, 20}, "Check at Startup", "Check the Latest Rev. at Startup"},
    {SaveAfterDlBox, GadgetKind::CheckBox, {30, 115, 100, 20}, "Save after DL",
     "Save after Download Zarn-ready Clover Distr to Local Repo"},
    {CheckNowButton, GadgetKind::Button, {180, 85, 65, 20}, "Check Now", nullptr},
    {CloverRepoButton, GadgetKind::Button, {180, 115, 65, 20}, "Local Repo",
     "Set Clover Zarn-ready Archives Local Repository Path"},
    {FormatOptionsFrame, GadgetKind::Frame, {5, 175, 265, 205}, "Format options", ""},
    {BootRecordsFrame, GadgetKind::Frame, {15, 190, 110, 135}, "Boot records", ""},
    {CloverOption, GadgetKind::Option, {30, 210, 60, 20}, "Clover", "Format drive and Install Clover Boot records"},
    {WindowsOption, GadgetKind::Option, {30, 240, 75, 20}, "Windows", "Format drive and Install Windows Boot records"},
    {FreeDosOption, GadgetKind::Option, {30, 270, 75, 20}, "FreeDos",
     "Format drive and Install FreeDos Bootloader records"},
    {NotFormatOption, GadgetKind::Option, {30, 300, 80, 20}, "Not Format", "Don't Re-Format Drive"},
    {VolumeLabelCaption, GadgetKind::Text, {145, 190, 75, 15}, "Volume label", ""},
    {VolumeLabelField, GadgetKind::String, {145, 210, 100, 20}, "", ""},
    {FileSystemCombo, GadgetKind::ComboBox, {145, 240, 100, 20}, "",
     "FAT32 for old BIOS/OS ver. | FAT32-LBA for Modern USB Flash/Hard drives"},
    {ClusterSizeCombo, GadgetKind::ComboBox, {145, 270, 100, 20}, "", ""},
    {AlignCombo, GadgetKind::ComboBox, {145, 300, 100, 20}, "",
     "63 sec old align to cylinder | 2048-8192 sec for Modern USB Flash/Hard drives"},
    {MultiPartitionFrame, GadgetKind::Frame, {15, 325, 245, 50}, "Multi Partitioning", ""},
    {BootPartitionBox, GadgetKind::CheckBox, {30, 345, 145, 20}, "Boot Partition Size (MB)",
     "Create 2 Partitions: 1-st Boot(Clover) and 2-nd for deployment of MACOSX distr"},
    {BootPartitionSizeField, GadgetKind::String, {180, 345, 65, 20}, "", "32 - 200000 MB",
     plat::GadgetNumeric | plat::GadgetCenter},
    {OtherFrame, GadgetKind::Frame, {5, 380, 265, 45}, "Other", ""},
    {FixedDisksBox, GadgetKind::CheckBox, {30, 395, 120, 20}, "Enable Fixed Disks",
     "For advanced users only! Use it with caution!"},
    {ZarnImageRepoButton, GadgetKind::Button, {180, 395, 65, 20}, "Local Repo",
     "Set ZarnImage Files Local Repository Path"},
    {ConfigOkButton, GadgetKind::Button, {46, 433, 183, 20}, "OK", ""},
};

const char* const kFileSystemLines[] = {"File System:", "FAT32", "FAT32-LBA", "NTFS", "exFAT", "UDF"};
const char* const kClusterSizeLines[] = {"Cluster Size:", "Default"};
const char* const kAlignLines[] = {"Align to sectors:", "63", "2048", "4096", "8192"};

// These two tool tips name the download host, which may be a mirror.
void SetHostToolTips() {
    plat::SetGadgetToolTip(DlOption, "Download from " + HostName(DownloadHost::Clover));
    plat::SetGadgetToolTip(CheckNowButton, "Check the Latest Rev. on " + HostName(DownloadHost::Clover));
}

template <size_t N>
void AddLines(int combo, const char* const (&lines)[N]) {
    for (const char* line : lines) plat::AddGadgetItem(combo, line);
}

// The line of `value` among the combo's lines after the caption, `fallback` when it is none.
template <size_t N>
int LineOf(const std::string& value, const char* const (&lines)[N], int fallback) {
    for (size_t i = 1; i < N; i++)
        if (value == lines[i]) return int(i);
    return fallback;
}

void Disable(std::initializer_list<int> gadgets, bool disabled) {
    for (int g : gadgets) plat::DisableGadget(g, disabled);
}

void SetDataSetSourceOptions() {
    Disable({FoundDataSetsCombo, DataSetInfoText, RevisionsCombo}, true);
    if (InstallDataSet == "Local") {
        plat::SetGadgetState(LocalOption, 1);
        Disable({FoundDataSetsCombo, DataSetInfoText}, false);
    } else if (InstallDataSet == "DL") {
        plat::SetGadgetState(DlOption, 1);
    } else if (InstallDataSet == "Not_Install") {
        plat::SetGadgetState(NotInstallOption, 1);
    }
}

void FillRevisionsCombo() {
    auto revisions = FoundRevisions.Items();
    if (revisions.empty()) return;
    for (int32_t revision : revisions) plat::AddGadgetItem(RevisionsCombo, std::to_string(revision));
    plat::SetGadgetState(RevisionsCombo, 0);
    if (plat::GetGadgetState(DlOption) == 1) plat::DisableGadget(RevisionsCombo, false);
}

void CreateCheckDateAndLink() {
    std::string lastRev, checkDate;
    {
        std::lock_guard<std::mutex> l(RevisionSettingsLock);
        lastRev = CloverLastRev;
        checkDate = CloverLastRevCheckDate;
    }
    plat::CreateGadget(ConfigurationWindow, CheckDateText, GadgetKind::Text, {120, 57, 80, 15}, checkDate);
    plat::CreateGadget(ConfigurationWindow, UpdateNewsLink, GadgetKind::Link, {200, 57, 58, 15}, "Upd. News");
    plat::SetLinkColors(UpdateNewsLink, Rgb(0, 0, 0), Rgb(0, 0, 255));
    plat::SetGadgetToolTip(UpdateNewsLink, "Open Clover Update Log link");
    if (lastRev == "Check It!") plat::SetGadgetText(CheckDateText, "Check It!");
}

void SetFormatOptions() {
    if (Boot_records == "Windows") plat::SetGadgetState(WindowsOption, 1);
    else if (Boot_records == "Clover") plat::SetGadgetState(CloverOption, 1);
    else if (Boot_records == "FreeDos") plat::SetGadgetState(FreeDosOption, 1);
    else if (Boot_records == "Not_Format") {
        plat::SetGadgetState(NotFormatOption, 1);
        Disable({VolumeLabelField, FileSystemCombo, ClusterSizeCombo, AlignCombo, BootPartitionBox,
                 BootPartitionSizeField},
                true);
    }
    plat::SetGadgetText(VolumeLabelField, VolumeLabel);
    plat::SetGadgetState(FileSystemCombo, LineOf(FileSystem, kFileSystemLines, 2));
    plat::SetGadgetState(ClusterSizeCombo, 1);
    plat::SetGadgetState(AlignCombo, LineOf(StartLBASector, kAlignLines, 1));
    if (MultiPartitions == 0) {
        plat::SetGadgetState(BootPartitionBox, 0);
        plat::DisableGadget(BootPartitionSizeField, true);
    } else {
        plat::SetGadgetState(BootPartitionBox, 1);
        if (Boot_records != "Not_Format") plat::DisableGadget(BootPartitionSizeField, false);
    }
    plat::SetGadgetText(BootPartitionSizeField, std::to_string(BootPartitionSize));
    plat::SetGadgetState(FixedDisksBox, EnableFixedDisks == 1 ? 1 : 0);
}

}  // namespace

void OpenConfigurationWindow() {
    // Centred on the main window; the position is the fallback of a platform that cannot centre.
    plat::Rect main = plat::WindowFrame(MainWindow);
    int x = main.x + (main.w - ConfigClientWidth) / 2, y = main.y + (main.h - ConfigClientHeight) / 2;
    if (!plat::OpenWindow(ConfigurationWindow, x, y, ConfigClientWidth, ConfigClientHeight, "Configuration",
                          plat::WindowSystemMenu | plat::WindowParentCentered, MainWindow))
        return;
    plat::DisableWindow(MainWindow, true);

    CreateGadgets(ConfigurationWindow, kSourceGadgets);
    SetDataSetSourceOptions();
    FillRevisionsCombo();
    CreateCheckDateAndLink();

    CreateGadgets(ConfigurationWindow, kOtherGadgets);
    SetHostToolTips();
    plat::SetGadgetTextLimit(VolumeLabelField, 11);
    AddLines(FileSystemCombo, kFileSystemLines);
    AddLines(ClusterSizeCombo, kClusterSizeLines);
    AddLines(AlignCombo, kAlignLines);
    plat::SetGadgetState(FileSystemCombo, 0);
    plat::SetGadgetState(AlignCombo, 0);
    plat::SetGadgetState(CheckAtStartupBox, CheckLatestCloverAtStartup == 1 ? 1 : 0);
    plat::SetGadgetState(SaveAfterDlBox, SaveLatestCloverAfterDL == 1 ? 1 : 0);
    SetFormatOptions();

    FillRepositoryList();
}

}  // namespace vu
