// Download-list digests; see file_digest.h.
#include "net/file_digest.h"

#include <cctype>
#include <vector>

#include "core/digest.h"
#include "platform/files.h"

namespace vu {

namespace {

bool IsHex(const std::string& text) {
    for (char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

plat::HashKind HashOf(DigestKind kind) { return kind == DigestKind::Md5 ? plat::HashKind::Md5 : plat::HashKind::Sha1; }

}  // namespace

DigestKind DigestKindOf(const std::string& digest) {
    if (!IsHex(digest)) return DigestKind::None;
    if (digest.size() == 32) return DigestKind::Md5;
    if (digest.size() == 40) return DigestKind::Sha1;
    return DigestKind::None;
}

std::string DigestHex(DigestKind kind, std::string_view bytes) { return HexDigits(Digest::Of(HashOf(kind), bytes)); }

std::string FileDigestHex(DigestKind kind, const std::string& path) {
    plat::FileHandle file = plat::OpenFile(path, plat::FileMode::Read);
    if (!file) return "";
    Digest digest(HashOf(kind));
    std::vector<char> buffer(1 << 20);
    int64_t n;
    while ((n = plat::ReadFileData(file, buffer.data(), int64_t(buffer.size()))) > 0) digest.Add(buffer.data(), size_t(n));
    plat::CloseFile(file);
    return n < 0 ? "" : HexDigits(digest.Finish());
}

bool SameDigest(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace vu
