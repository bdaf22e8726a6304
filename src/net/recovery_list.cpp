// The Recovery HD list; see recovery_list.h.
#include "net/recovery_list.h"

namespace vu {

RecoveryEntryList RecoveryList;

std::vector<RecoveryEntry> RecoveryEntryList::Entries() const {
    std::lock_guard<std::mutex> l(lock_);
    return entries_;
}

void RecoveryEntryList::Replace(std::vector<RecoveryEntry> entries) {
    std::lock_guard<std::mutex> l(lock_);
    entries_ = std::move(entries);
}

void RecoveryEntryList::Clear() { Replace({}); }

}  // namespace vu
