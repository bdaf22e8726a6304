// The HFS+ reader; see hfsplus_volume.h. Layouts follow Apple's TN1150.
#include "tools/hfsplus_volume.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>

#include "platform/common/utf16_text.h"

namespace vu {

namespace {

constexpr uint32_t ExtentsFileId = 3, CatalogFileId = 4, AttributesFileId = 8;
constexpr uint8_t DataForkType = 0, ResourceForkType = 0xFF;
constexpr uint32_t InlineAttribute = 0x10;
constexpr size_t NodeDescriptorSize = 14, HeaderRecordSize = 106;
constexpr size_t CopyPiece = 1 << 20;

HfsFork ParseFork(const uint8_t* p) {
    HfsFork fork;
    fork.logicalSize = Be64(p);
    fork.totalBlocks = Be32(p + 12);
    for (int i = 0; i < 8; ++i) {
        HfsExtent extent{Be32(p + 16 + 8 * i), Be32(p + 20 + 8 * i)};
        if (extent.blockCount == 0) break;
        fork.extents.push_back(extent);
    }
    return fork;
}

// HFS+ names are UTF-16BE; an unpaired surrogate becomes U+FFFD.
std::string NameText(const uint8_t* p, size_t units) {
    std::vector<uint16_t> name(units);
    for (size_t i = 0; i < units; ++i) name[i] = Be16(p + 2 * i);
    return Utf16ToUtf8(name);
}

// The records of a node as (start, length), after checking the descriptor and the offset table.
bool NodeRecords(const std::vector<uint8_t>& node, std::vector<std::pair<size_t, size_t>>& records) {
    size_t size = node.size();
    uint16_t count = Be16(node.data() + 10);
    if (NodeDescriptorSize + 2 * (size_t(count) + 1) > size) return false;
    size_t tableStart = size - 2 * (size_t(count) + 1);
    records.clear();
    size_t previous = Be16(node.data() + size - 2);
    if (previous < NodeDescriptorSize) return false;
    for (size_t i = 1; i <= count; ++i) {
        size_t next = Be16(node.data() + size - 2 * (i + 1));
        if (next <= previous || next > tableStart) return false;
        records.emplace_back(previous, next - previous);
        previous = next;
    }
    return true;
}

std::string LowerAscii(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// An attribute key (TN1150): keyLength, pad, fileID, startBlock, then the name as UTF-16BE.
bool IsDecmpfsKey(const uint8_t* r, size_t length, uint32_t fileId) {
    static const std::string name = "com.apple.decmpfs";
    if (length < 14 || Be32(r + 4) != fileId || Be32(r + 8) != 0 || Be16(r + 12) != name.size()) return false;
    if (Be16(r) < 12 + 2 * name.size() || 14 + 2 * name.size() > length) return false;
    for (size_t i = 0; i < name.size(); ++i)
        if (Be16(r + 14 + 2 * i) != uint8_t(name[i])) return false;
    return true;
}

}  // namespace

bool HfsVolume::CheckExtents(const std::vector<HfsExtent>& extents, uint32_t totalBlocks, const std::string& what,
                             std::string& error) const {
    uint64_t sum = 0;
    for (const auto& e : extents) {
        if (uint64_t(e.startBlock) + e.blockCount > totalBlocks_)
            return error = what + " has an extent outside the volume", false;
        sum += e.blockCount;
    }
    if (sum != totalBlocks)
        return error = what + "'s extents hold " + std::to_string(sum) + " blocks instead of " +
                       std::to_string(totalBlocks),
               false;
    return true;
}

bool HfsVolume::ReadFork(const std::vector<HfsExtent>& extents, uint64_t offset, uint8_t* buffer, size_t length) {
    for (const auto& e : extents) {
        uint64_t bytes = uint64_t(e.blockCount) * blockSize_;
        if (offset >= bytes) {
            offset -= bytes;
            continue;
        }
        size_t piece = size_t(std::min<uint64_t>(length, bytes - offset));
        if (!source_.ReadAt(uint64_t(e.startBlock) * blockSize_ + offset, buffer, piece)) return false;
        buffer += piece;
        length -= piece;
        offset = 0;
        if (length == 0) return true;
    }
    return length == 0;
}

bool HfsVolume::OpenTree(const HfsFork& fork, uint32_t fileId, const char* what, Tree& tree, std::string& error) {
    tree = Tree{};
    if (!AllExtents(fork, fileId, 0, tree.extents, error)) return false;
    tree.forkBytes = std::min<uint64_t>(fork.logicalSize, uint64_t(fork.totalBlocks) * blockSize_);
    uint8_t head[NodeDescriptorSize + HeaderRecordSize];
    if (tree.forkBytes < sizeof head || !ReadFork(tree.extents, 0, head, sizeof head))
        return error = std::string("the ") + what + " B-tree's header cannot be read", false;
    const uint8_t* h = head + NodeDescriptorSize;
    tree.firstLeaf = Be32(h + 10);
    tree.nodeSize = Be16(h + 18);
    tree.totalNodes = Be32(h + 22);
    if (int8_t(head[8]) != 1 || tree.nodeSize < 512 || tree.nodeSize > 32768 || (tree.nodeSize & (tree.nodeSize - 1)))
        return error = std::string("the ") + what + " B-tree's header is damaged", false;
    if (tree.totalNodes == 0 || uint64_t(tree.totalNodes) * tree.nodeSize > tree.forkBytes)
        return error = std::string("the ") + what + " B-tree counts more nodes than its file holds", false;
    if (tree.firstLeaf >= tree.totalNodes)
        return error = std::string("the ") + what + " B-tree's first leaf lies outside it", false;
    return true;
}

bool HfsVolume::WalkLeaves(const Tree& tree, const char* what,
                           const std::function<bool(const uint8_t*, size_t, std::string&)>& visit,
                           std::string& error) {
    std::vector<bool> visited(tree.totalNodes, false);
    std::vector<uint8_t> node(tree.nodeSize);
    std::vector<std::pair<size_t, size_t>> records;
    for (uint32_t n = tree.firstLeaf; n != 0;) {
        std::string where = std::string("the ") + what + " B-tree's node " + std::to_string(n);
        if (n >= tree.totalNodes) return error = where + " lies outside it", false;
        if (visited[n]) return error = std::string("the ") + what + " B-tree's leaf chain loops", false;
        visited[n] = true;
        if (!ReadFork(tree.extents, uint64_t(n) * tree.nodeSize, node.data(), node.size()))
            return error = where + " cannot be read", false;
        if (int8_t(node[8]) != -1) return error = where + " is not a leaf", false;
        if (!NodeRecords(node, records)) return error = where + " is damaged", false;
        for (const auto& [start, length] : records)
            if (!visit(node.data() + start, length, error)) return false;
        n = Be32(node.data());
    }
    return true;
}

bool HfsVolume::AllExtents(const HfsFork& fork, uint32_t fileId, uint8_t forkType, std::vector<HfsExtent>& extents,
                           std::string& error) {
    std::string what = "file " + std::to_string(fileId);
    extents = fork.extents;
    uint64_t have = 0;
    for (const auto& e : extents) have += e.blockCount;
    if (have < fork.totalBlocks) {
        if (fileId == ExtentsFileId || !extentsTreeOpen_)
            return error = what + "'s extents hold fewer blocks than the file", false;
        // The overflow records of this fork, keyed by the fork block they start at.
        std::map<uint32_t, std::vector<HfsExtent>> more;
        bool walked = WalkLeaves(extents_, "extents", [&](const uint8_t* r, size_t length, std::string& why) {
            if (length < 12 + 64 || Be16(r) != 10) return why = "the extents B-tree holds a damaged record", false;
            if (r[2] != forkType || Be32(r + 4) != fileId) return true;
            auto& run = more[Be32(r + 8)];
            run.clear();
            for (int i = 0; i < 8; ++i) {
                HfsExtent e{Be32(r + 12 + 8 * i), Be32(r + 16 + 8 * i)};
                if (e.blockCount == 0) break;
                run.push_back(e);
            }
            return true;
        }, error);
        if (!walked) return false;
        while (have < fork.totalBlocks) {
            auto found = more.find(uint32_t(have));
            if (have > UINT32_MAX || found == more.end() || found->second.empty())
                return error = what + " lacks the extents from its block " + std::to_string(have), false;
            for (const auto& e : found->second) {
                extents.push_back(e);
                have += e.blockCount;
            }
            more.erase(found);
        }
    }
    return CheckExtents(extents, fork.totalBlocks, what, error);
}

bool HfsVolume::Open(std::string& error) {
    uint8_t header[512];
    if (source_.Size() < 1024 + sizeof header || !source_.ReadAt(1024, header, sizeof header))
        return error = "it is too small for an HFS+ volume", false;
    uint16_t signature = Be16(header), version = Be16(header + 2);
    if (signature == 0x4244) return error = "it is a classic HFS volume, not HFS+", false;
    if (!((signature == 0x482B && version == 4) || (signature == 0x4858 && version == 5)))
        return error = "it is not an HFS+ volume", false;
    blockSize_ = Be32(header + 40);
    totalBlocks_ = Be32(header + 44);
    if (blockSize_ < 512 || blockSize_ > (1u << 20) || (blockSize_ & (blockSize_ - 1)))
        return error = "its block size " + std::to_string(blockSize_) + " is not possible", false;
    if (uint64_t(totalBlocks_) * blockSize_ > source_.Size())
        return error = "the volume is larger than its partition", false;
    extentsFork_ = ParseFork(header + 192);
    catalogFork_ = ParseFork(header + 272);
    attributesFork_ = ParseFork(header + 352);
    extentsTreeOpen_ = attributesTreeOpen_ = false;
    if (!OpenTree(extentsFork_, ExtentsFileId, "extents", extents_, error)) return false;
    extentsTreeOpen_ = true;
    return OpenTree(catalogFork_, CatalogFileId, "catalog", catalog_, error);
}

bool HfsVolume::WalkCatalog(const std::function<void(HfsFile&&)>& onFile,
                            const std::function<void(uint32_t, uint32_t, std::string&&)>& onFolder,
                            std::string& error) {
    return WalkLeaves(catalog_, "catalog", [&](const uint8_t* r, size_t length, std::string& why) {
        uint16_t keyLength = length >= 2 ? Be16(r) : 0;
        if (keyLength < 6 || size_t(keyLength) + 2 > length) return why = "the catalog holds a damaged key", false;
        uint16_t nameUnits = Be16(r + 6);
        if (nameUnits > 255 || 6 + 2 * size_t(nameUnits) > keyLength) return why = "the catalog holds a damaged name", false;
        size_t at = 2 + size_t(keyLength);
        at += at & 1;  // record data starts on an even offset
        uint16_t type = at + 2 <= length ? Be16(r + at) : 0;
        const uint8_t* d = r + at;
        if (type == 1) {
            if (length - at < 88) return why = "the catalog holds a damaged folder record", false;
            onFolder(Be32(d + 8), Be32(r + 2), NameText(r + 8, nameUnits));
        }
        if (type != 2) return true;  // threads
        if (length - at < 248) return why = "the catalog holds a damaged file record", false;
        HfsFile file;
        file.parentId = Be32(r + 2);
        file.name = NameText(r + 8, nameUnits);
        file.id = Be32(d + 8);
        file.compressed = (d[41] & 0x20) != 0;
        file.hardLink = std::memcmp(d + 48, "hlnk", 4) == 0 && std::memcmp(d + 52, "hfs+", 4) == 0;
        file.data = ParseFork(d + 88);
        file.resource = ParseFork(d + 168);
        onFile(std::move(file));
        return true;
    }, error);
}

bool HfsVolume::ListFiles(std::vector<HfsFile>& files, std::string& error) {
    files.clear();
    return WalkCatalog([&](HfsFile&& file) { files.push_back(std::move(file)); },
                       [](uint32_t, uint32_t, std::string&&) {}, error);
}

bool HfsVolume::ForkExtents(const HfsFile& file, const HfsFork& fork, uint8_t forkType,
                            std::vector<HfsExtent>& extents, std::string& error) {
    if (fork.logicalSize > uint64_t(fork.totalBlocks) * blockSize_)
        return error = file.name + " is larger than its blocks", false;
    return AllExtents(fork, file.id, forkType, extents, error) || (error = file.name + ": " + error, false);
}

bool HfsVolume::CopyDataFork(const HfsFile& file, ByteSink& sink, const std::function<bool(uint64_t)>& progress,
                             std::string& error) {
    std::vector<HfsExtent> extents;
    if (!ForkExtents(file, file.data, DataForkType, extents, error)) return false;
    std::vector<uint8_t> buffer;
    uint64_t done = 0, size = file.data.logicalSize;
    while (done < size) {
        size_t piece = size_t(std::min<uint64_t>(CopyPiece, size - done));
        buffer.resize(piece);
        if (!ReadFork(extents, done, buffer.data(), piece)) return error = file.name + " cannot be read", false;
        if (!sink.Write(buffer.data(), piece)) return error = "the copy of " + file.name + " cannot be written", false;
        done += piece;
        if (progress && !progress(done)) return error.clear(), false;
    }
    return true;
}

bool HfsVolume::ReadDecmpfs(const HfsFile& file, DecmpfsHeader& header, std::string& error) {
    if (!attributesTreeOpen_) {
        if (attributesFork_.totalBlocks == 0)
            return error = file.name + " is stored compressed, but the volume has no attributes B-tree", false;
        if (!OpenTree(attributesFork_, AttributesFileId, "attributes", attributes_, error)) return false;
        attributesTreeOpen_ = true;
    }
    bool found = false;
    bool walked = WalkLeaves(attributes_, "attributes", [&](const uint8_t* r, size_t length, std::string& why) {
        if (found || !IsDecmpfsKey(r, length, file.id)) return true;
        size_t at = 2 + size_t(Be16(r));
        if (at + 16 > length || Be32(r + at) != InlineAttribute || Be32(r + at + 12) > length - at - 16)
            return why = "the compression attribute of " + file.name + " is damaged", false;
        found = true;
        return ParseDecmpfs(r + at + 16, Be32(r + at + 12), header, why) || (why = file.name + ": " + why, false);
    }, error);
    if (walked && !found) return error = file.name + " is stored compressed, but its com.apple.decmpfs attribute is missing", false;
    return walked;
}

bool HfsVolume::ContentSize(const HfsFile& file, uint64_t& size, std::string& error) {
    DecmpfsHeader header;
    if (!file.compressed) size = file.data.logicalSize;
    else if (ReadDecmpfs(file, header, error)) size = header.size;
    else return false;
    return true;
}

bool HfsVolume::CopyContent(const HfsFile& file, ByteSink& sink, const std::function<bool(uint64_t)>& progress,
                            std::string& error) {
    if (file.hardLink) return error = file.name + " is a hard link, which this reader does not follow", false;
    DecmpfsHeader header;
    std::vector<HfsExtent> extents;
    bool copied;
    if (!file.compressed) {
        copied = CopyDataFork(file, sink, progress, error);
    } else if (!ReadDecmpfs(file, header, error)) {
        return false;
    } else if (header.type == DecmpfsZlibInline) {
        copied = ExpandInlineDecmpfs(header, sink, error) || (error = file.name + ": " + error, false);
        if (copied && progress && !progress(header.size)) return error.clear(), false;
    } else if (header.type == DecmpfsZlibResourceFork) {
        if (!ForkExtents(file, file.resource, ResourceForkType, extents, error)) return false;
        uint64_t forkBytes = file.resource.logicalSize;
        auto read = [&](uint64_t offset, uint8_t* buffer, size_t length) {
            return offset <= forkBytes && length <= forkBytes - offset && ReadFork(extents, offset, buffer, length);
        };
        copied = ExpandResourceForkDecmpfs(header.size, forkBytes, read, sink, progress, error) ||
                 (!error.empty() && (error = file.name + ": " + error, false));
    } else {
        return error = file.name + " is stored " + DecmpfsCompressionName(header.type) +
                       "-compressed, which this reader cannot expand",
               false;
    }
    if (!copied) return false;
    return sink.Finish() || (error = "the copy of " + file.name + " cannot be written", false);
}

bool HfsVolume::ReadContent(const HfsFile& file, uint64_t limit, std::string& content, std::string& error) {
    uint64_t size;
    if (!ContentSize(file, size, error)) return false;
    if (size > limit) return error = file.name + " is larger than " + std::to_string(limit) + " bytes", false;
    MemorySink sink(size);
    if (!CopyContent(file, sink, nullptr, error)) return false;
    content.assign(sink.bytes.begin(), sink.bytes.end());
    return true;
}

bool HfsVolume::ReadSmallFile(const std::string& path, uint64_t limit, std::string& content, std::string& error) {
    std::vector<std::string> names;
    for (size_t at = 0; at <= path.size();) {
        size_t slash = std::min(path.find('/', at), path.size());
        if (slash > at) names.push_back(path.substr(at, slash - at));
        at = slash + 1;
    }
    if (names.empty()) return error = "\"" + path + "\" names no file", false;
    // One walk collects the folders and the files of the last name; the path is followed after.
    std::map<std::pair<uint32_t, std::string>, uint32_t> folders;
    std::vector<HfsFile> candidates;
    std::string last = LowerAscii(names.back());
    bool walked = WalkCatalog(
        [&](HfsFile&& file) {
            if (LowerAscii(file.name) == last) candidates.push_back(std::move(file));
        },
        [&](uint32_t id, uint32_t parentId, std::string&& name) { folders[{parentId, LowerAscii(name)}] = id; },
        error);
    if (!walked) return false;
    uint32_t parent = HfsRootFolderId;
    for (size_t i = 0; i + 1 < names.size(); ++i) {
        auto found = folders.find({parent, LowerAscii(names[i])});
        if (found == folders.end()) return error = "\"" + path + "\" is not on the volume", false;
        parent = found->second;
    }
    for (const auto& file : candidates)
        if (file.parentId == parent) return ReadContent(file, limit, content, error);
    return error = "\"" + path + "\" is not on the volume", false;
}

}  // namespace vu
