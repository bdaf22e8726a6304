// The answers of Apple's recovery server (or of whatever stands in its place on the network): the
// image-info answer and the session cookie, which go on into request headers.
#include <cstddef>
#include <cstdint>
#include <string>

#include "net/recovery_server.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size), error;
    vu::RecoveryAnswer answer;
    // A refusal always says why; a cookie never carries a second attribute.
    if (!vu::ParseRecoveryAnswer(text, answer, error) && error.empty()) __builtin_trap();
    std::string cookie = vu::SessionCookie({text});
    if (cookie.find_first_of(";\r\n") != std::string::npos) __builtin_trap();
    return 0;
}
