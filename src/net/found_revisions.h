// The bootloader revisions offered for download, highest first: filled by the latest-revision
// check (or, at start-up, with the last known revision) and shown by the Configuration window's
// revisions combo box. Locked, because the check rebuilds it on a worker thread while the
// window may read it on the main thread.
#pragma once
#include <cstdint>
#include <mutex>
#include <vector>

namespace vu {

class RevisionList {
public:
    std::vector<int32_t> Items() const;
    bool Empty() const;
    void Add(int32_t revision);
    void Replace(std::vector<int32_t> revisions);
    void Clear();

private:
    mutable std::mutex lock_;
    std::vector<int32_t> items_;
};

extern RevisionList FoundRevisions;

// Appends one revision to FoundRevisions (the start-up offer of the last known revision).
void AddOfferedRevision(int revision);

}  // namespace vu
