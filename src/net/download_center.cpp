// The Download Center window and its gadget events; see download_center.h.
#include "net/download_center.h"

#include "core/gadget_numbers.h"
#include "core/gadget_table.h"
#include "core/gadget_updates.h"
#include "core/globals.h"
#include "core/operations.h"
#include "core/status_bar.h"
#include "core/transfer_progress.h"
#include "net/additional_download.h"
#include "net/download_jobs.h"
#include "net/recovery_catalog.h"
#include "net/recovery_download.h"
#include "net/recovery_list.h"
#include "platform/gui.h"

namespace vu {

namespace {

using plat::GadgetKind;

constexpr int ButtonY = DownloadCenterHeight - 30;

// In the order of creation; the two options follow each other, so they form one group.
const GadgetSpec kGadgets[] = {
    {RecoveryFrame, GadgetKind::Frame, {10, 10, 420, 48}, "", ""},
    {RecoveryCombo, GadgetKind::ComboBox, {20, 28, 400, 20}, "",
     "Select MAC OS X HD Recovery for Download and Automatically Extract HFS-Image"},
    {AdditionalFrame, GadgetKind::Frame, {10, 60, 420, 48}, "", ""},
    {AdditionalCombo, GadgetKind::ComboBox, {20, 78, 400, 20}, "",
     "Select Item from User or Zarn Download Lists for Download"},
    {RecoveryOption, GadgetKind::Option, {15, 10, 160, 13}, " Recovery HD for macOS:", ""},
    {AdditionalOption, GadgetKind::Option, {15, 60, 120, 13}, " Additional Packages:", ""},
    {DcExitButton, GadgetKind::Button, {20, ButtonY, 70, 20}, "Exit", ""},
    {DcClearButton, GadgetKind::Button, {95, ButtonY, 70, 20}, "Clear", "Clear DL list"},
    {DcUpdateButton, GadgetKind::Button, {170, ButtonY, 70, 20}, "Update", "Update Temporary disabled for Recover HD"},
    {DcDlButton, GadgetKind::Button, {320, ButtonY, 100, 20}, "DL", "DL selected Item"},
};

// The lists the two combo boxes were last filled from, line for line: "DL" takes the entry the
// user saw, also when a list update has replaced the list since. Main thread.
std::vector<RecoveryEntry> shownRecovery;
std::vector<AdditionalEntry> shownAdditional;

bool Checked(int gadget) { return plat::GetGadgetState(gadget) == 1; }

void Close() {
    plat::DisableWindow(MainWindow, false);
    plat::ActivateWindow(MainWindow);
    plat::CloseWindow(DownloadCenterWindow);
}

// The option buttons: the chosen list is enabled, the other one disabled; "Clear" empties only the
// Recovery HD list.
void ChooseList(bool recovery) {
    plat::DisableGadget(RecoveryCombo, !recovery);
    plat::DisableGadget(DcClearButton, !recovery);
    plat::DisableGadget(AdditionalCombo, recovery);
}

// The list updates hold the download slot like every download, so that no two share a request;
// while another download holds it, "Update" is refused with a status text.
void StartUpdate(Job update) {
    if (!update) return;
    if (!StartDownloadJob(update, 0)) DrawProgressBar(StatusBarGadget, UpdateWhileDownloadingText, 0);
}

// Busy before the thread runs, so that "DL Center" cannot reopen the window meanwhile, and the
// cancel cleared here, so that a press of "Cancel DL" before the thread runs counts.
void StartDownload(Job job, int line) {
    OperationBusy = 1;
    AbortRequested = 0;
    if (!StartJob(job, line)) OperationBusy = 0;
}

// "DL": the chosen entry's download starts on a worker; the window closes in every case.
void OnDl() {
    if (Checked(RecoveryOption)) {
        int line = plat::GetGadgetState(RecoveryCombo);
        if (line >= 0 && line < int(shownRecovery.size()) && Ops.downloadRecoveryHd) {
            SetChosenRecoveryEntry(shownRecovery[size_t(line)]);
            StartDownload(Ops.downloadRecoveryHd, line);
        }
    } else if (Checked(AdditionalOption)) {
        int line = plat::GetGadgetState(AdditionalCombo);
        if (line >= 0 && line < int(shownAdditional.size()) && Ops.downloadAdditional) {
            SetChosenAdditionalEntry(shownAdditional[size_t(line)]);
            StartDownload(Ops.downloadAdditional, line);
        }
    }
    Close();
}

}  // namespace

std::string DownloadCenterTitle() { return "Download Center - Velloran Utility " + VersionText + " by Ossen"; }

std::string AdditionalLine(const AdditionalEntry& entry) {
    if (entry.Size.empty()) return entry.Name + ": " + entry.Description;
    return entry.Name + " " + SizeText(DecimalValue(entry.Size), 1) + ": " + entry.Description;
}

void FillRecoveryCombo() {
    shownRecovery = RecoveryList.Entries();
    plat::ClearGadgetItems(RecoveryCombo);
    for (const RecoveryEntry& entry : shownRecovery) plat::AddGadgetItem(RecoveryCombo, entry.Title);
    plat::SetGadgetState(RecoveryCombo, 0);
    FitComboDropWidth(DownloadCenterWindow, RecoveryCombo, 0);
}

void FillAdditionalCombo() {
    shownAdditional = AdditionalList.Entries();
    plat::ClearGadgetItems(AdditionalCombo);
    for (const AdditionalEntry& entry : shownAdditional) plat::AddGadgetItem(AdditionalCombo, AdditionalLine(entry));
    plat::SetGadgetState(AdditionalCombo, 0);
    FitComboDropWidth(DownloadCenterWindow, AdditionalCombo, 0);
}

void DownloadListReplaced(int combo) {
    if (!plat::WindowExists(DownloadCenterWindow)) return;
    if (combo == RecoveryCombo) FillRecoveryCombo();
    if (combo == AdditionalCombo) FillAdditionalCombo();
}

void OpenDownloadCenter() {
    plat::Rect main = plat::WindowFrame(MainWindow);
    if (!plat::OpenWindow(DownloadCenterWindow, main.x + 20, main.y - 20, DownloadCenterWidth, DownloadCenterHeight,
                          DownloadCenterTitle(), plat::WindowSystemMenu, MainWindow))
        return;
    CreateGadgets(DownloadCenterWindow, kGadgets);
    FillRecoveryCombo();
    FillAdditionalCombo();
    plat::SetGadgetState(RecoveryOption, 1);
    ChooseList(true);
    plat::DisableWindow(MainWindow, true);
}

bool DownloadCenterGadget(int gadget, int) {
    switch (gadget) {
        case RecoveryOption:
        case AdditionalOption:
            ChooseList(gadget == RecoveryOption);
            return true;
        case DcExitButton:
            Close();
            return true;
        case DcUpdateButton:
            if (Checked(RecoveryOption)) StartUpdate(Ops.updateRecoveryCatalog);
            else if (Checked(AdditionalOption)) StartUpdate(Ops.updateDownloadLists);
            return true;
        case DcClearButton:
            RecoveryList.Clear();
            shownRecovery.clear();
            plat::ClearGadgetItems(RecoveryCombo);
            return true;
        case DcDlButton:
            OnDl();
            return true;
        case RecoveryCombo:
        case AdditionalCombo:
            return true;
    }
    return false;
}

}  // namespace vu
