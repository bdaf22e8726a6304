// Gadget changes shared by the subsystems; see gadget_updates.h.
#include "core/gadget_updates.h"

#include "core/gadget_numbers.h"
#include "platform/gui.h"
#include "platform/system.h"

namespace vu {

std::string LatestCloverMenuTitle(const std::string& cloverLastRev) {
    return cloverLastRev == "Check It!" ? " Latest Clover: Check It!" : " Latest Clover: r" + cloverLastRev;
}

void ShowLatestCloverRevision(const std::string& cloverLastRev) {
    plat::SetMenuTitleText(MainMenu, 3, LatestCloverMenuTitle(cloverLastRev));
}

void FitComboDropWidth(int window, int combo, int width) {
    if (width <= 0) width = plat::MeasureComboItems(combo);
    width += 2 * plat::SystemMetric(plat::MetricCxEdge) + 3;
    if (plat::CountGadgetItems(combo) > 30) width += plat::SystemMetric(plat::MetricCxVScroll);
    plat::SetComboDropWidth(combo, width);
}

}  // namespace vu
