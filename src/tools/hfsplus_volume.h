// A reader of HFS+ (and HFSX) volumes in a partition image: the volume header, the catalog
// B-tree walked along its leaf chain, the extents-overflow B-tree for files in more than eight
// pieces, and the content of files: their data forks, or what a compressed file (decmpfs, its
// header in the attributes B-tree) expands to. Read-only; nothing of the volume is trusted: node
// numbers, record offsets, extents and sizes are checked before use, and a leaf chain that loops
// fails. An object is used by one thread at a time.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tools/byte_io.h"
#include "tools/hfs_decmpfs.h"

namespace vu {

struct HfsExtent {
    uint32_t startBlock = 0, blockCount = 0;
};

struct HfsFork {
    uint64_t logicalSize = 0;
    uint32_t totalBlocks = 0;
    std::vector<HfsExtent> extents;  // the eight of the record (empty ones left out)
};

struct HfsFile {
    uint32_t id = 0, parentId = 0;
    std::string name;  // UTF-8
    HfsFork data, resource;
    bool compressed = false;  // UF_COMPRESSED: the content lives in a decmpfs attribute
    bool hardLink = false;    // a link whose content is a node file elsewhere
};

constexpr uint32_t HfsRootFolderId = 2;

class HfsVolume {
public:
    explicit HfsVolume(ByteSource& source) : source_(source) {}

    // Reads and checks the volume header and the headers of the catalog and extents trees.
    bool Open(std::string& error);

    // Every file record of the catalog, in catalog order.
    bool ListFiles(std::vector<HfsFile>& files, std::string& error);

    // The size of the file's content: its data fork's, or what a compressed file expands to.
    bool ContentSize(const HfsFile& file, uint64_t& size, std::string& error);

    // Copies the content of `file` to `sink`, in pieces: its data fork, or what a compressed file
    // expands to (zlib, in its attribute or in its resource fork). progress(done) false cancels
    // (error stays empty then). Hard links, and compressions other than zlib, are refused with
    // an error that names them.
    bool CopyContent(const HfsFile& file, ByteSink& sink, const std::function<bool(uint64_t)>& progress,
                     std::string& error);

    // The whole content of `file` when it holds at most `limit` bytes.
    bool ReadContent(const HfsFile& file, uint64_t limit, std::string& content, std::string& error);

    // The whole content of the file at `path` ("/System/Library/CoreServices/SystemVersion.plist";
    // names compared without regard to ASCII case) when it holds at most `limit` bytes.
    bool ReadSmallFile(const std::string& path, uint64_t limit, std::string& content, std::string& error);

    uint32_t BlockSize() const { return blockSize_; }

private:
    struct Tree {
        std::vector<HfsExtent> extents;  // of its fork, complete
        uint64_t forkBytes = 0;
        uint32_t nodeSize = 0, totalNodes = 0, firstLeaf = 0;
    };
    bool ReadFork(const std::vector<HfsExtent>& extents, uint64_t offset, uint8_t* buffer, size_t length);
    bool OpenTree(const HfsFork& fork, uint32_t fileId, const char* what, Tree& tree, std::string& error);
    // Calls visit(record, length) for every record of every leaf, in chain order.
    bool WalkLeaves(const Tree& tree, const char* what,
                    const std::function<bool(const uint8_t*, size_t, std::string&)>& visit, std::string& error);
    // The fork's extents with those of the overflow tree appended, covering its total blocks.
    bool AllExtents(const HfsFork& fork, uint32_t fileId, uint8_t forkType, std::vector<HfsExtent>& extents,
                    std::string& error);
    bool CheckExtents(const std::vector<HfsExtent>& extents, uint32_t totalBlocks, const std::string& what,
                      std::string& error) const;
    // Calls onFile for every file record and onFolder(id, parentId, name) for every folder.
    bool WalkCatalog(const std::function<void(HfsFile&&)>& onFile,
                     const std::function<void(uint32_t, uint32_t, std::string&&)>& onFolder, std::string& error);
    // The fork's extents, complete and checked against the volume and its logical size.
    bool ForkExtents(const HfsFile& file, const HfsFork& fork, uint8_t forkType, std::vector<HfsExtent>& extents,
                     std::string& error);
    bool CopyDataFork(const HfsFile& file, ByteSink& sink, const std::function<bool(uint64_t)>& progress,
                      std::string& error);
    // The com.apple.decmpfs attribute of a compressed file, parsed.
    bool ReadDecmpfs(const HfsFile& file, DecmpfsHeader& header, std::string& error);

    ByteSource& source_;
    uint32_t blockSize_ = 0, totalBlocks_ = 0;
    HfsFork catalogFork_, extentsFork_, attributesFork_;
    Tree catalog_, extents_, attributes_;
    bool extentsTreeOpen_ = false, attributesTreeOpen_ = false;
};

}  // namespace vu
