// The Configuration window's list of local data sets; see repository_list.h.
#include "app/repository_list.h"

#include <memory>
#include <thread>

#include "app/configuration_window.h"
#include "app/main_window.h"
#include "platform/gui.h"
#include "prepare/local_repository.h"

namespace vu {

void FillRepositoryList() {
    if (!plat::WindowExists(ConfigurationWindow)) return;
    plat::SetGadgetText(DataSetInfoText, "Wait ...");
    plat::ClearGadgetItems(FoundDataSetsCombo);
    ScanLocalRepository();
    auto found = FoundDataSets();
    if (!found.empty()) {
        for (auto& set : found) plat::AddGadgetItem(FoundDataSetsCombo, set.name);
        plat::SetGadgetState(FoundDataSetsCombo, 0);
        bool local = plat::GetGadgetState(LocalOption) == 1;
        plat::DisableGadget(FoundDataSetsCombo, !local);
        plat::DisableGadget(DataSetInfoText, !local);
    } else {
        plat::SetGadgetText(DataSetInfoText, "Not Found");
        plat::DisableGadget(FoundDataSetsCombo, true);
        plat::DisableGadget(DataSetInfoText, true);
    }
    SelectFoundDataSet();
}

void SelectFoundDataSet() {
    if (!plat::WindowExists(ConfigurationWindow)) return;
    int32_t revision = 0;
    if (ChooseFoundDataSet(plat::GetGadgetText(FoundDataSetsCombo), revision))
        plat::SetGadgetText(DataSetInfoText, "Rev: " + std::to_string(revision));
}

void StartRepositoryRescan(const std::string& folder) {
    SetCloverLocalRepository(folder);
    // The ticket is taken before the thread starts, so a waiter cannot miss the scan.
    auto ticket = std::make_unique<RepositoryScanTicket>();
    std::thread([ticket = std::move(ticket)] { FillRepositoryList(); }).detach();
}

}  // namespace vu
