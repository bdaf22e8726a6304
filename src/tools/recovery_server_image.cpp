// A verified recovery image from Apple's recovery server; see recovery_server_image.h.
#include "tools/recovery_server_image.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "core/status_bar.h"
#include "net/download_jobs.h"
#include "net/http_download.h"
#include "net/recovery_server_download.h"
#include "platform/gui.h"
#include "tools/chunklist_trust.h"
#include "tools/image_extraction.h"
#include "tools/udif_image.h"

namespace vu {

namespace {

void ReportError(const std::string& text) {
    ShowStatus(text, StatusPauseMs);
    plat::MessageBox("Error", text, plat::MbIconWarning);
}

// The last `bytes` of a file of `size` bytes; reading anything before them fails.
class TailSource : public ByteSource {
public:
    TailSource(std::string bytes, uint64_t size) : bytes_(std::move(bytes)), size_(size) {}
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void* buffer, size_t length) override {
        uint64_t start = size_ - bytes_.size();
        if (offset < start || offset > size_ || length > size_ - offset) return false;
        std::memcpy(buffer, bytes_.data() + (offset - start), length);
        return true;
    }

private:
    std::string bytes_;
    uint64_t size_;
};

// The size of the image's HFS partition, from its trailer and its partition table fetched alone:
// both folders are checked before a byte of the image is written.
bool ServedPartitionSize(const RecoveryAnswer& answer, uint64_t length, uint64_t& partitionBytes) {
    std::string name = ServedFileName(answer.AU, "BaseSystem.dmg"), koly, tail, error;
    uint64_t announced = 0, xmlOffset = 0, xmlLength = 0;
    UdifImage image;
    if (length < 512 || !FetchRecoveryImagePart(answer, length - 512, length - 1, koly, announced)) return false;
    if (announced != 0 && announced != length) {
        ReportError(name + " is " + std::to_string(announced) + " bytes long, its chunk list names " +
                    std::to_string(length));
        return false;
    }
    if (!ParseUdifTrailer(reinterpret_cast<const uint8_t*>(koly.data()), length, image, xmlOffset, xmlLength, error)) {
        ReportError(name + " is damaged: " + error);
        return false;
    }
    if (!FetchRecoveryImagePart(answer, std::min(xmlOffset, length - 512), length - 1, tail, announced)) return false;
    TailSource source(std::move(tail), length);
    if (ReadUdifImage(source, image, error) != UdifOpen::Ok) {
        ReportError(name + " is damaged: " + error);
        return false;
    }
    const UdifPartition* partition = LargestHfsPartition(image);
    if (!partition) ReportError(name + " holds no HFS partition");
    return partition && (partitionBytes = partition->Bytes(), true);
}

// The image stays in the working folder until its partition is written: on one volume (two
// folders of one volume tell the same free space) both need room at once.
bool RoomForImage(const std::string& workFolder, uint64_t imageBytes, const std::string& imageFolder,
                  uint64_t partitionBytes, std::string& error) {
    uint64_t workFree = 0, imageFree = 0;
    if (plat::FreeDiskSpace(workFolder, workFree) && plat::FreeDiskSpace(imageFolder, imageFree) &&
        workFree == imageFree)
        return RoomFor(imageFolder, imageBytes + partitionBytes, error);
    return RoomFor(workFolder, imageBytes, error) && RoomFor(imageFolder, partitionBytes, error);
}

// Everything up to the image on disk, with the download slot held.
bool Fetch(const RecoveryBoard& board, const std::string& workFolder, const std::string& imageFolder,
           int32_t maxAttempts, std::string& dmgPath, Chunklist& list) {
    RecoveryAnswer answer;
    std::string bytes, error;
    if (!AskRecoveryServer(board, answer) || !FetchRecoveryChunklist(answer, bytes)) return false;
    std::string listName = ServedFileName(answer.CU, "BaseSystem.chunklist");
    if (!TrustServerChunklist(bytes, list, error)) {
        ReportError("Can't trust " + listName + " of " + board.macOs + ": " + error);
        return false;
    }
    // The image is the list's chunks, byte for byte.
    uint64_t partitionBytes = 0;
    if (!ServedPartitionSize(answer, list.TotalSize(), partitionBytes)) return false;
    if (!RoomForImage(workFolder, list.TotalSize(), imageFolder, partitionBytes, error)) {
        ReportError(error);
        return false;
    }
    dmgPath = workFolder + ServedFileName(answer.AU, "BaseSystem.dmg");
    return FetchRecoveryImage(board, answer, dmgPath, maxAttempts) == WebOk;
}

}  // namespace

bool FetchServerImage(const RecoveryBoard& board, const std::string& workFolder, const std::string& imageFolder,
                      int32_t maxAttempts, std::string& dmgPath, Chunklist& list) {
    bool fetched = Fetch(board, workFolder, imageFolder, maxAttempts, dmgPath, list);
    ReleaseDownloadBusy();
    return fetched;
}

bool TrustServerChunklist(const std::string& bytes, Chunklist& list, std::string& error) {
    return VerifyChunklist(bytes, list, error) == ChunklistTrust::Signed;
}

RecoveryHdExtraction ExtractServerImage(const std::string& dmgPath, const Chunklist& list,
                                        const std::string& imageFolder) {
    std::string name = FileNameOf(dmgPath), error;
    RecoveryHdExtraction result;
    {
        FileSource image(dmgPath);
        StatusProgress checking("Checking " + name, list.TotalSize());
        switch (CheckAgainstChunklist(list, image, std::ref(checking), error)) {
            case ChunklistCheck::Match: break;
            case ChunklistCheck::Cancelled: return result.outcome = RecoveryHdExtraction::Cancelled, result;
            case ChunklistCheck::Mismatch:
                return result.error = name + " does not match its chunk list: " + error, result;
        }
        checking.Finished();
    }
    return WriteRecoveryImage(dmgPath, imageFolder, "");
}

}  // namespace vu
