// The exchanges with Apple's recovery server for one board, through the download engine: every
// request carries the recovery user agent, "Connection: close" and its cookie as a header of its
// own (the engine keeps WinINet's cookies out). Each step reports its own failure on the status
// bar and in a message box, as the standard download callbacks do, and honours "Cancel DL"
// (AbortRequested): a cancelled step reports "Download aborted".
//
// Runs on the download job's thread, which holds the download slot.
#pragma once
#include <cstdint>
#include <string>

#include "net/recovery_server.h"

namespace vu {

// A session, then the image-info request for `board`: true with the server's answer.
bool AskRecoveryServer(const RecoveryBoard& board, RecoveryAnswer& answer);

// The chunk list (CU, with the token CT) into `bytes`; a list above 1 MiB is refused.
bool FetchRecoveryChunklist(const RecoveryAnswer& answer, std::string& bytes);

// Bytes `first` to `last` of the image (AU, with the token AT) into `bytes` (at most 16 MiB);
// `length` gets the image's length that the answer's Content-Range names (0 when it names none).
bool FetchRecoveryImagePart(const RecoveryAnswer& answer, uint64_t first, uint64_t last, std::string& bytes,
                            uint64_t& length);

// The image (AU, with the token AT) into `fileName`, with the standard progress and resumed with
// ranges up to `maxAttempts` times. A resume refused with 403 (the token expired) asks for a new session and answer and goes
// on with its token, which `answer` then holds; an answer that names another image ends the
// download. Returns the DownloadResult.
int32_t FetchRecoveryImage(const RecoveryBoard& board, RecoveryAnswer& answer, const std::string& fileName,
                           int32_t maxAttempts);

// The name a file of the server is kept under: the address's last path part ("BaseSystem.dmg")
// when it is a plain file name, `fallback` otherwise.
std::string ServedFileName(const std::string& url, const std::string& fallback);

}  // namespace vu
