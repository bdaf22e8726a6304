// The revisions offered for download; see found_revisions.h.
#include "net/found_revisions.h"

namespace vu {

RevisionList FoundRevisions;

std::vector<int32_t> RevisionList::Items() const {
    std::lock_guard<std::mutex> l(lock_);
    return items_;
}

bool RevisionList::Empty() const {
    std::lock_guard<std::mutex> l(lock_);
    return items_.empty();
}

void RevisionList::Add(int32_t revision) {
    std::lock_guard<std::mutex> l(lock_);
    items_.push_back(revision);
}

void RevisionList::Replace(std::vector<int32_t> revisions) {
    std::lock_guard<std::mutex> l(lock_);
    items_ = std::move(revisions);
}

void RevisionList::Clear() { Replace({}); }

void AddOfferedRevision(int revision) { FoundRevisions.Add(revision); }

}  // namespace vu
