// The Recovery HD package chain; see recovery_package.h.
#include "tools/recovery_package.h"

#include <cctype>
#include <new>
#include <vector>

#include "core/status_bar.h"
#include "platform/files.h"
#include "tools/chunklist.h"
#include "tools/hfsplus_volume.h"
#include "tools/image_extraction.h"
#include "tools/udif_image.h"
#include "tools/xar_entry.h"

namespace vu {

namespace {

constexpr uint64_t MaxChunklistSize = 1 << 20;

// The intermediate files of one run, removed however it ends.
class WorkFiles {
public:
    explicit WorkFiles(std::string folder) : folder_(std::move(folder)) {}
    ~WorkFiles() {
        for (const auto& path : paths_) Remove(path);
    }
    std::string Name(const std::string& file) {
        paths_.push_back(folder_ + file);
        return paths_.back();
    }
    static void Remove(const std::string& path) {
        if (plat::FileExists(path)) plat::DeleteFile(path);
    }

private:
    std::string folder_;
    std::vector<std::string> paths_;
};

bool SameName(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    return i == a.size() && !b[i];
}

// BaseSystem.dmg and its chunk list from the same folder, the root's preferred.
bool FindBaseSystem(const std::vector<HfsFile>& files, const HfsFile*& dmg, const HfsFile*& chunklist) {
    dmg = chunklist = nullptr;
    for (const auto& file : files)
        if (SameName(file.name, "BaseSystem.dmg") && (!dmg || file.parentId == HfsRootFolderId)) dmg = &file;
    if (!dmg) return false;
    for (const auto& file : files)
        if (SameName(file.name, "BaseSystem.chunklist") && file.parentId == dmg->parentId) chunklist = &file;
    return true;
}

RecoveryHdExtraction Fail(std::string error) {
    RecoveryHdExtraction result;
    result.error = std::move(error);
    return result;
}

RecoveryHdExtraction Cancelled() {
    RecoveryHdExtraction result;
    result.outcome = RecoveryHdExtraction::Cancelled;
    return result;
}

// Writes the largest HFS partition of the disk image at `dmgPath` to `target`.
RecoveryHdExtraction PartitionToFile(const std::string& dmgPath, const std::string& target, const std::string& what) {
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
    StatusProgress progress(what, partition->Bytes());
    switch (WritePartitionImage(source, image, *partition, target, progress, error, notice)) {
        case DecodeOutcome::Done: break;
        case DecodeOutcome::Cancelled: return Cancelled();
        case DecodeOutcome::Failed: return Fail(name + ": " + error);
    }
    progress.Finished();
    ShowStatus(notice.empty() ? "" : name + ": " + notice, StatusPauseMs);
    RecoveryHdExtraction result;
    result.outcome = RecoveryHdExtraction::Done;
    result.imagePath = target;
    return result;
}

RecoveryHdExtraction ExtractPackage(const std::string& packagePath, const std::string& build,
                                    const std::string& workFolder, const std::string& imageFolder) {
    std::string package = FileNameOf(packagePath), error;
    std::string folder = imageFolder;
    if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder += '\\';
    if (folder.empty() || !plat::FolderExists(folder)) return Fail("the image folder \"" + imageFolder + "\" does not exist");
    WorkFiles work(workFolder);

    // The package's RecoveryHDMeta.dmg, found by content, never by name. A package that reads as a
    // disk image is one: so are the installer products' RecoveryHDMetaDmg.pkg, a xar whose file
    // also ends in a koly trailer. Otherwise the xar's RecoveryHDMeta.dmg is unpacked.
    std::string metaDmg = packagePath, imageError;
    UdifOpen asImage;
    {
        FileSource sniff(packagePath);
        UdifImage image;
        asImage = sniff.IsOpen() ? ReadUdifImage(sniff, image, imageError) : UdifOpen::NotUdif;
    }
    if (asImage != UdifOpen::Ok) {
        metaDmg = work.Name("RecoveryHDMeta.dmg");
        StatusProgress unpacking("Unpacking RecoveryHDMeta.dmg", 0);
        auto xarProgress = [&](uint64_t done, uint64_t total) {
            unpacking.SetTotal(total);
            return unpacking(done);
        };
        switch (CopyXarEntry(packagePath, "RecoveryHDMeta.dmg", metaDmg, xarProgress, error)) {
            case XarCopy::Copied: break;
            case XarCopy::Cancelled: return Cancelled();
            case XarCopy::NotFound: return Fail(package + " holds no RecoveryHDMeta.dmg");
            case XarCopy::Failed: return Fail(package + ": " + error);
            case XarCopy::NotXar:
                if (asImage == UdifOpen::Damaged) return Fail(package + " is damaged: " + imageError);
                return Fail(package + " is neither an installer package nor a disk image");
        }
    }

    // Its HFS+ volume, and from that BaseSystem.dmg with its chunk list.
    std::string metaVolume = work.Name("RecoveryHDMeta.hfs");
    RecoveryHdExtraction step = PartitionToFile(metaDmg, metaVolume, "RecoveryHDMeta.dmg");
    if (step.outcome != RecoveryHdExtraction::Done) return step;
    if (metaDmg != packagePath) WorkFiles::Remove(metaDmg);

    std::string baseDmg = work.Name("BaseSystem.dmg");
    std::string chunklistBytes;
    bool haveChunklist = false;
    {
        FileSource volumeSource(metaVolume);
        HfsVolume volume(volumeSource);
        std::vector<HfsFile> files;
        if (!volume.Open(error) || !volume.ListFiles(files, error))
            return Fail("the volume of RecoveryHDMeta.dmg: " + error);
        const HfsFile *dmg, *chunklist;
        if (!FindBaseSystem(files, dmg, chunklist)) return Fail("RecoveryHDMeta.dmg holds no BaseSystem.dmg");
        uint64_t size;
        if (!volume.ContentSize(*dmg, size, error)) return Fail("RecoveryHDMeta.dmg: " + error);
        FileSink copy(baseDmg);
        if (!copy.IsOpen()) return Fail("\"" + baseDmg + "\" cannot be created");
        StatusProgress copying("BaseSystem.dmg", size);
        if (!volume.CopyContent(*dmg, copy, std::ref(copying), error))
            return error.empty() ? Cancelled() : Fail("RecoveryHDMeta.dmg: " + error);
        copy.Close();
        if (chunklist) {
            if (!volume.ReadContent(*chunklist, MaxChunklistSize, chunklistBytes, error))
                return Fail("RecoveryHDMeta.dmg: " + error);
            haveChunklist = true;
        }
    }
    WorkFiles::Remove(metaVolume);

    if (haveChunklist) {
        Chunklist list;
        if (!ParseChunklist(chunklistBytes, list, error)) return Fail("BaseSystem.chunklist: " + error);
        FileSource source(baseDmg);
        StatusProgress checking("Checking BaseSystem.dmg", list.TotalSize());
        switch (CheckAgainstChunklist(list, source, std::ref(checking), error)) {
            case ChunklistCheck::Match: break;
            case ChunklistCheck::Cancelled: return Cancelled();
            case ChunklistCheck::Mismatch: return Fail("BaseSystem.dmg does not match BaseSystem.chunklist: " + error);
        }
    }

    return WriteRecoveryImage(baseDmg, folder, build);
}

}  // namespace

RecoveryHdExtraction ExtractRecoveryHdPackage(const std::string& packagePath, const std::string& build,
                                              const std::string& workFolder, const std::string& imageFolder) {
    // The intermediate files remove themselves while the exception unwinds.
    try {
        return ExtractPackage(packagePath, build, workFolder, imageFolder);
    } catch (const std::bad_alloc&) {
        return Fail("there is not enough memory to extract " + FileNameOf(packagePath));
    }
}

}  // namespace vu
