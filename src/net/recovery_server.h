// Apple's recovery server, asked the way a Mac's Internet Recovery asks it: a session ("GET /"
// sets a "session=..." cookie), then the image-info request ("POST /InstallationPayload/
// RecoveryImage" with "key=value" lines: cid, sn, bid, k, fg, os), whose answer ("KEY: value"
// lines) names the image, its chunk list and the asset token each must be fetched with.
//
// Here: the board asked for each macOS the Download Center offers, the request's body and the
// answer's reading. Pure functions; any thread.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "net/recovery_list.h"

namespace vu {

// With the zero MLB a board gets the newest image it supports: one board per macOS.
struct RecoveryBoard {
    const char* macOs;    // "macOS 14 Sonoma": what the entry's title names
    const char* boardId;  // "Mac-827FAC58A8FDFA22"
    const char* mlb;      // the 17-character serial the request carries as "sn"
    const char* os;       // "default", or "latest" for the newest release the board takes
};
// macOS 10.14 to 26, oldest first.
const std::vector<RecoveryBoard>& RecoveryBoards();

// One entry per board: Title "macOS 14 Sonoma (recovery server)", Url the image-info address on
// Apple's own host with the board in its query. The address only identifies the entry (it is
// what the settings file stores); the requests go to VU_RECOVERY_HOST when that is set.
std::vector<RecoveryEntry> RecoveryServerEntries();
// The board an entry asks for; null for an entry of a catalog, a built-in or an unknown one.
const RecoveryBoard* RecoveryBoardOf(const RecoveryEntry& entry);

constexpr const char* RecoveryUserAgent = "InternetRecovery/1.0";
constexpr const char* RecoveryImageInfoPath = "/InstallationPayload/RecoveryImage";

// The image-info request's body: cid (16 uppercase hexadecimal digits), sn, bid, k and fg (64
// digits each), os, joined by LF with none at the end. `random` gives the digits' randomness.
std::string RecoveryImageRequestBody(const RecoveryBoard& board, const std::function<uint32_t()>& random);

// The cookie "session=<value>" of the first Set-Cookie value that sets it to a value without blanks
// and control characters (it is sent back in a header line); "" when none does.
std::string SessionCookie(const std::vector<std::string>& setCookies);

// The answer's seven keys.
struct RecoveryAnswer {
    std::string AP;  // product, "041-76812"
    std::string AU;  // the image's address
    std::string AH;  // digests whose meaning is not published: kept, never relied on
    std::string AT;  // the image's asset token
    std::string CU;  // the chunk list's address
    std::string CH;
    std::string CT;  // the chunk list's asset token
};

// Reads an answer; false with `error` naming every key that is missing, or the first value that
// cannot be used: an address that is not http:// or https:// with a host and a path, a token that
// could leave its cookie (a control character or ";"). Lines are "KEY: value",
// LF or CRLF; unknown keys are ignored and the first of a repeated key counts.
bool ParseRecoveryAnswer(const std::string& text, RecoveryAnswer& answer, std::string& error);

}  // namespace vu
