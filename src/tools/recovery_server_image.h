// A recovery image from Apple's recovery server (net/recovery_server.h), made trustworthy before
// it becomes an .hfs image: its chunk list must be signed by a trusted key (Apple's, or one of
// VU_CHUNKLIST_KEYS); before a byte of the image is written, its trailer and partition table are
// fetched alone (ranged requests) and the working folder must have room for the image (the list's
// length, which the server's answer must confirm) and the image folder for its HFS partition; and
// every chunk of the image must match the list before that partition is written and named after
// its build (recovery_image_file.h).
//
// Runs on the Download Center's worker thread; AbortRequested cancels every step.
#pragma once
#include <cstdint>
#include <string>

#include "net/recovery_server.h"
#include "tools/chunklist.h"
#include "tools/recovery_image_file.h"

namespace vu {

// Asks the server for `board`'s image and downloads its chunk list and the image into
// `workFolder` (ending in "\"), once it and `imageFolder` have room, resuming up to `maxAttempts`
// times. True with the image's path
// and its verified list; false once the failure or the cancel was reported. The caller holds the
// download slot; it is released once this returns.
bool FetchServerImage(const RecoveryBoard& board, const std::string& workFolder, const std::string& imageFolder,
                      int32_t maxAttempts, std::string& dmgPath, Chunklist& list);

// True when `bytes` is a chunk list signed by a trusted key; otherwise false with why not.
bool TrustServerChunklist(const std::string& bytes, Chunklist& list, std::string& error);

// Checks the image against `list` (read on every core) and writes its HFS partition into
// `imageFolder`, named after the build the volume holds.
RecoveryHdExtraction ExtractServerImage(const std::string& dmgPath, const Chunklist& list,
                                        const std::string& imageFolder);

}  // namespace vu
