// Copying one file out of a xar archive (a flat installer package such as
// "RecoveryHDUpdate.pkg") with libarchive, reading the archive through the file seam. Runs on
// the calling thread.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace vu {

enum class XarCopy { Copied, NotFound, NotXar, Failed, Cancelled };

// Copies the first entry whose last path component is `name` (case-insensitive, anywhere in the
// archive) to the new file `target`. progress(done, total) false cancels. On every outcome but
// Copied no target file is left. Failed and NotXar come with `error`.
XarCopy CopyXarEntry(const std::string& archivePath, const std::string& name, const std::string& target,
                     const std::function<bool(uint64_t, uint64_t)>& progress, std::string& error);

}  // namespace vu
