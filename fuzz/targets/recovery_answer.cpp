// The answers of Apple's recovery server (or of whatever stands in its place on the network): the
// image-info answer and the session cookie. An answer that is used names two web addresses and
// two tokens that can travel in a cookie header.
#include <cstddef>
#include <cstdint>
#include <string>

#include "net/recovery_server.h"

namespace {

bool Header(const std::string& text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) < ' ' || c == 0x7F || c == ';') return false;
    return !text.empty();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size), error;
    vu::RecoveryAnswer answer;
    if (vu::ParseRecoveryAnswer(text, answer, error)) {
        if (!error.empty() || !Header(answer.AT) || !Header(answer.CT) || answer.AP.empty() || answer.AH.empty() ||
            answer.CH.empty() || answer.AU.rfind("http", 0) != 0 || answer.CU.rfind("http", 0) != 0)
            __builtin_trap();
    } else if (error.empty()) {
        __builtin_trap();
    }
    std::string cookie = vu::SessionCookie({text});
    if (!cookie.empty() && (cookie.rfind("session=", 0) != 0 || cookie.find(';') != std::string::npos))
        __builtin_trap();
    return 0;
}
