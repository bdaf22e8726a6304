// Shared steps of the HFS extractions; see image_extraction.h.
#include "tools/image_extraction.h"

#include <functional>
#include <new>

#include "core/globals.h"
#include "core/status_bar.h"
#include "core/transfer_progress.h"
#include "platform/files.h"

namespace vu {

StatusProgress::StatusProgress(std::string what, uint64_t total, std::string hint)
    : what_(std::move(what)), hint_(std::move(hint)), total_(total), timing_(StartTransfer()) {}

bool StatusProgress::operator()(uint64_t done) {
    done_ = done;
    int64_t now = HighResTicks();
    if (ProgressDue(timing_, now)) {
        ProgressLine line = RunningProgressLine(int64_t(done), int64_t(total_), int64_t(done), now - timing_.startTicks);
        DrawProgressBar(StatusBarGadget, what_ + ": " + line.text + hint_, line.percent);
    }
    return AbortRequested == 0;
}

void StatusProgress::Finished() {
    DrawProgressBar(StatusBarGadget,
                    what_ + ": " + FinishedProgressLine(int64_t(done_), int64_t(total_), int64_t(done_),
                                                        HighResTicks() - timing_.startTicks),
                    0);
}

DecodeOutcome WritePartitionImage(ByteSource& source, const UdifImage& image, const UdifPartition& partition,
                                  const std::string& path, StatusProgress& progress, std::string& error,
                                  std::string& notice) {
    notice.clear();
    // A chunk type we cannot decode is found before anything is created or overwritten; so is a
    // stale master checksum that no partition checksum makes up for.
    if (!CheckUdifPartitionChunks(partition, error)) return DecodeOutcome::Failed;
    if (image.staleMasterChecksum && !partition.checksum.IsCrc32())
        return error = "its master checksum does not match its partitions' checksums", DecodeOutcome::Failed;
    FileSink sink(path);
    if (!sink.IsOpen()) return error = "\"" + path + "\" cannot be created", DecodeOutcome::Failed;
    bool staleFork = false;
    DecodeOutcome outcome;
    try {
        outcome = DecodeUdifPartition(source, image, partition, sink, std::ref(progress), error, 0, &staleFork);
    } catch (const std::bad_alloc&) {
        error = "there is not enough memory to decode it", outcome = DecodeOutcome::Failed;
    }
    sink.Close();
    if (outcome != DecodeOutcome::Done) {
        plat::DeleteFile(path);
        return outcome;
    }
    if (image.staleMasterChecksum || staleFork) {
        const char* stale = !staleFork ? "master checksum"
                            : image.staleMasterChecksum ? "master and data fork checksums"
                                                        : "data fork checksum";
        notice = std::string("stale ") + stale + " ignored, the partition's checksum matches";
    }
    return outcome;
}

const UdifPartition* LargestHfsPartition(const UdifImage& image) {
    const UdifPartition* best = nullptr;
    for (const auto& partition : image.partitions)
        if (partition.IsHfs() && (!best || partition.sectorCount > best->sectorCount)) best = &partition;
    return best;
}

bool RoomFor(const std::string& folder, uint64_t bytes, std::string& error) {
    uint64_t free = 0;
    if (!plat::FreeDiskSpace(folder, free) || free >= bytes) return true;
    std::string shown = folder;
    if (shown.size() > 3 && (shown.back() == '\\' || shown.back() == '/')) shown.pop_back();
    error = "Not enough free space on " + shown + ": " + SizeText(int64_t(bytes), 1) + " needed, " +
            SizeText(int64_t(free), 1) + " free";
    return false;
}

std::string FreeNumberedName(const std::string& folder, const std::string& stem, const std::string& extension) {
    std::string candidate = folder + stem + extension;
    for (int n = 2; plat::FileExists(candidate) || plat::FolderExists(candidate); ++n)
        candidate = folder + stem + " (" + std::to_string(n) + ")" + extension;
    return candidate;
}

std::string FileNameOf(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace vu
