// Unpacking of the packed packages the program carries into a temporary file of a working
// folder. A package is one block, little-endian:
//
//   0   4   unpacked size (non-zero)
//   4   4   packed size = block length - 12
//   8   4   CRC-32 (zlib) of the unpacked bytes
//   12  5   LZMA properties (0x5D: lc 3, lp 0, pb 2; then the dictionary size)
//   17  ..  raw LZMA stream; decoding stops after the unpacked size
//
// The unpacked bytes are a ZIP archive (see archive_extract.h). resources/packages/pack_package.py
// makes such blocks at build time. Runs on the calling thread.
#pragma once
#include <cstddef>
#include <string>

#include "core/work_folder.h"

namespace vu {

// Unpacks the package (start, length) into a new temporary file of the caller's working folder
// `folder` (created when it has none yet) and returns the file's full name, or "" on any failure.
// A checksum mismatch and a failed write also show their own "Error" box; nothing is left on disk
// then.
std::string UnpackInternalMemoryToTempFile(const unsigned char* start, std::size_t length, WorkFolder& folder);

}  // namespace vu
