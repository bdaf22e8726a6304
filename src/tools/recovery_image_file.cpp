// The Recovery HD image written and named; see recovery_image_file.h.
#include "tools/recovery_image_file.h"

#include <cctype>
#include <functional>

#include "core/status_bar.h"
#include "platform/files.h"
#include "tools/hfsplus_volume.h"
#include "tools/image_extraction.h"
#include "tools/property_list.h"
#include "tools/udif_image.h"

namespace vu {

namespace {

constexpr const char* SystemVersionPath = "/System/Library/CoreServices/SystemVersion.plist";
constexpr uint64_t MaxSystemVersionBytes = 64 * 1024;

RecoveryHdExtraction Fail(std::string error) {
    RecoveryHdExtraction result;
    result.error = std::move(error);
    return result;
}

std::string StringValue(const PlistValue& dict, const char* key) {
    const PlistValue* value = dict.Find(key);
    return value && value->kind == PlistValue::String ? value->text : "";
}

}  // namespace

std::string RecoveryImageStem(const std::string& build) {
    std::string safe;
    for (char c : build)
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-') safe += c;
    while (!safe.empty() && safe.front() == '.') safe.erase(0, 1);
    return safe.empty() ? "RecoveryHD" : "RecoveryHD-" + safe;
}

bool ReadSystemVersion(ByteSource& volume, std::string& build, std::string& version, std::string& error) {
    HfsVolume hfs(volume);
    std::string text;
    PlistValue root;
    if (!hfs.Open(error) || !hfs.ReadSmallFile(SystemVersionPath, MaxSystemVersionBytes, text, error)) return false;
    if (!ParsePropertyList(text, root, error)) return error = "SystemVersion.plist: " + error, false;
    if (root.kind != PlistValue::Dict) return error = "SystemVersion.plist holds no dictionary", false;
    build = StringValue(root, "ProductBuildVersion");
    version = StringValue(root, "ProductVersion");
    if (build.empty()) return error = "SystemVersion.plist names no ProductBuildVersion", false;
    return true;
}

RecoveryHdExtraction WriteRecoveryImage(const std::string& dmgPath, const std::string& imageFolder,
                                        const std::string& build) {
    std::string name = FileNameOf(dmgPath), error, notice;
    FileSource source(dmgPath);
    UdifImage image;
    switch (source.IsOpen() ? ReadUdifImage(source, image, error) : UdifOpen::NotUdif) {
        case UdifOpen::NotUdif: return Fail(name + " is not a disk image");
        case UdifOpen::Damaged: return Fail(name + " is damaged: " + error);
        case UdifOpen::Ok: break;
    }
    const UdifPartition* partition = LargestHfsPartition(image);
    if (!partition) return Fail(name + " holds no HFS partition");
    if (!RoomFor(imageFolder, partition->Bytes(), error)) return Fail(error);

    // Under a name of its own until the volume has said what it holds.
    std::string partial = FreeNumberedName(imageFolder, RecoveryImageStem(build), ".hfs.part");
    StatusProgress progress(FileNameOf(partial.substr(0, partial.size() - 5)), partition->Bytes());
    switch (WritePartitionImage(source, image, *partition, partial, progress, error, notice)) {
        case DecodeOutcome::Done: break;
        case DecodeOutcome::Cancelled: {
            RecoveryHdExtraction cancelled;
            cancelled.outcome = RecoveryHdExtraction::Cancelled;
            return cancelled;
        }
        case DecodeOutcome::Failed: return Fail(name + ": " + error);
    }
    progress.Finished();
    if (!notice.empty()) ShowStatus(name + ": " + notice, StatusPauseMs);

    RecoveryHdExtraction result;
    {
        FileSource volume(partial);
        if (!ReadSystemVersion(volume, result.build, result.version, error)) {
            result.build.clear();
            ShowStatus("The recovery volume does not say its macOS build: " + error, StatusPauseMs);
        }
    }
    std::string target = FreeNumberedName(imageFolder, RecoveryImageStem(build.empty() ? result.build : build), ".hfs");
    if (!plat::MoveFileOver(partial, target)) {
        plat::DeleteFile(partial);
        return Fail("\"" + partial + "\" cannot be renamed to \"" + target + "\"");
    }
    result.outcome = RecoveryHdExtraction::Done;
    result.imagePath = target;
    return result;
}

}  // namespace vu
