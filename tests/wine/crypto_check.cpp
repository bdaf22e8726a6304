// The program's crypto under Wine, for the smoke test: through the seam, which on Windows is
// bcrypt.dll. Prints one JSON line (the texts hold no quotes; backslashes are doubled).
//
//   crypto_check digests                   MD5, SHA-1 and SHA-256 of "abc"
//   crypto_check chunklist C:\x.chunklist  the verdict on a list, with VU_CHUNKLIST_KEYS's keys
#include <cstdio>
#include <regex>
#include <string>

#include "core/digest.h"
#include "platform/files.h"
#include "tools/chunklist_trust.h"

using namespace vu;

int main(int argc, char** argv) {
    std::string command = argc >= 2 ? argv[1] : "", bytes, message;
    auto hex = [](plat::HashKind kind) { return HexDigits(Digest::Of(kind, "abc")); };
    Chunklist list;
    if (command == "digests")
        std::printf("{\"md5\":\"%s\",\"sha1\":\"%s\",\"sha256\":\"%s\"}\n", hex(plat::HashKind::Md5).c_str(),
                    hex(plat::HashKind::Sha1).c_str(), hex(plat::HashKind::Sha256).c_str());
    else if (command == "chunklist" && argc == 3 && plat::ReadWholeFile(argv[2], bytes)) {
        int trust = int(VerifyChunklist(bytes, list, message));
        std::printf("{\"trust\":%d,\"message\":\"%s\"}\n", trust,
                    std::regex_replace(message, std::regex(R"(\\)"), R"(\\)").c_str());
    } else
        return std::printf("usage: crypto_check digests | chunklist FILE\n"), 2;
    return 0;
}
