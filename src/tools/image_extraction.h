// What the two HFS extractions (from a DMG file and from a Recovery HD package) share: progress
// on the status bar with the user's cancel, writing one partition of a disk image to an .hfs
// file that is removed again unless it was written whole, and free output names. Runs on the
// extraction's worker thread.
#pragma once
#include <cstdint>
#include <string>

#include "core/transfer_progress.h"
#include "tools/udif_decode.h"

namespace vu {

// "<what>: 42% 512 MB/1.19 GB 36.4 MB/s  Remain: 20 s <hint>" on the status bar, redrawn at most
// every 200 ms. Each call reads AbortRequested and answers false once the user asked to cancel.
class StatusProgress {
public:
    StatusProgress(std::string what, uint64_t total, std::string hint = {});
    bool operator()(uint64_t done);
    void SetTotal(uint64_t total) { total_ = total; }
    // The closing line: "<what>: 1.19 GB/1.19 GB 36.4 MB/s  Total: 33 s  Done".
    void Finished();

private:
    std::string what_, hint_;
    uint64_t total_, done_ = 0;
    TransferTiming timing_;
};

// Writes the partition to the new file `path` (created or truncated). Anything but Done leaves
// no file behind, also when memory runs out. A stale master or data fork checksum is harmless
// when the partition's own checksum matches its data: the image is then written, and `notice`
// names what was stale ("stale master checksum ignored, the partition's checksum matches");
// otherwise it stays empty.
DecodeOutcome WritePartitionImage(ByteSource& source, const UdifImage& image, const UdifPartition& partition,
                                  const std::string& path, StatusProgress& progress, std::string& error,
                                  std::string& notice);

// The largest Apple_HFS or Apple_HFSX partition, or null when there is none.
const UdifPartition* LargestHfsPartition(const UdifImage& image);

// Whether the volume of `folder` has `bytes` free; false with "Not enough free space on <folder
// without its final "\">: <needed> needed, <free> free" when it has less. A volume whose room cannot be told passes.
bool RoomFor(const std::string& folder, uint64_t bytes, std::string& error);

// folder + stem + extension, or with " (2)", " (3)", ... before the extension when that is taken.
std::string FreeNumberedName(const std::string& folder, const std::string& stem, const std::string& extension);

// The file part of a Windows path, and the folder part with its final "\".
std::string FileNameOf(const std::string& path);
std::string FolderOf(const std::string& path);

}  // namespace vu
