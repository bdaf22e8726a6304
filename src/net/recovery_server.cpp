// Apple's recovery server: boards, the request's body, the answer; see recovery_server.h.
#include "net/recovery_server.h"

#include <algorithm>
#include <cctype>

#include "net/url_parts.h"

namespace vu {

namespace {

constexpr const char* ZeroMlb = "00000000000000000";
constexpr const char* EntryOrigin = "http://osrecovery.apple.com";

std::string RandomHex(size_t digits, const std::function<uint32_t()>& random) {
    static const char hex[] = "0123456789ABCDEF";
    std::string text;
    for (size_t i = 0; i < digits; ++i) text += hex[random() & 15];
    return text;
}

std::string EntryUrl(const RecoveryBoard& board) {
    return std::string(EntryOrigin) + RecoveryImageInfoPath + "?bid=" + board.boardId + "&os=" + board.os;
}

bool Usable(const std::string& key, const std::string& value, std::string& error) {
    bool address = key == "AU" || key == "CU";
    if (address) {
        std::string scheme, object;
        UrlTarget target;
        bool web = UrlScheme(value, scheme) == UrlPartFound && (scheme.size() == 7 || scheme.size() == 8) &&
                   UrlObject(value, object) == UrlPartFound && UrlConnectTarget(value, 0, target);
        bool plain = std::none_of(value.begin(), value.end(), [](char c) {
            return static_cast<unsigned char>(c) <= ' ' || c == 0x7F;
        });
        if (!web || !plain) return error = "its " + key + " is not an http:// or https:// address", false;
    } else if (key == "AT" || key == "CT") {
        if (value.empty() || std::any_of(value.begin(), value.end(), [](char c) {
                return static_cast<unsigned char>(c) < ' ' || c == 0x7F || c == ';';
            }))
            return error = "its " + key + " is no token a cookie can carry", false;
    }
    return true;
}

}  // namespace

const std::vector<RecoveryBoard>& RecoveryBoards() {
    static const std::vector<RecoveryBoard> boards = {
        {"macOS 10.14 Mojave", "Mac-7BA5B2DFE22DDD8C", "00000000000KXPG00", "default"},
        {"macOS 10.15 Catalina", "Mac-00BE6ED71E35EB86", ZeroMlb, "default"},
        {"macOS 11 Big Sur", "Mac-2BD1B31983FE1663", ZeroMlb, "default"},
        {"macOS 12 Monterey", "Mac-E43C1C25D4880AD6", ZeroMlb, "default"},
        {"macOS 13 Ventura", "Mac-B4831CEBD52A0C4C", ZeroMlb, "default"},
        {"macOS 14 Sonoma", "Mac-827FAC58A8FDFA22", ZeroMlb, "default"},
        {"macOS 15 Sequoia", "Mac-7BA5B2D9E42DDD94", ZeroMlb, "default"},
        {"macOS 26 Tahoe", "Mac-CFF7D910A743CAAF", ZeroMlb, "latest"},
    };
    return boards;
}

std::vector<RecoveryEntry> RecoveryServerEntries() {
    std::vector<RecoveryEntry> entries;
    for (const RecoveryBoard& board : RecoveryBoards())
        entries.push_back({std::string(board.macOs) + " (recovery server)", EntryUrl(board)});
    return entries;
}

const RecoveryBoard* RecoveryBoardOf(const RecoveryEntry& entry) {
    for (const RecoveryBoard& board : RecoveryBoards())
        if (entry.Url == EntryUrl(board)) return &board;
    return nullptr;
}

std::string RecoveryImageRequestBody(const RecoveryBoard& board, const std::function<uint32_t()>& random) {
    return "cid=" + RandomHex(16, random) + "\nsn=" + board.mlb + "\nbid=" + board.boardId +
           "\nk=" + RandomHex(64, random) + "\nfg=" + RandomHex(64, random) + "\nos=" + board.os;
}

std::string SessionCookie(const std::vector<std::string>& setCookies) {
    // A Set-Cookie value is the cookie's "name=value" and then its attributes, after ";".
    for (const std::string& value : setCookies) {
        size_t begin = value.find_first_not_of(" \t");
        if (begin == std::string::npos || value.compare(begin, 8, "session=") != 0) continue;
        std::string piece = value.substr(begin, value.find(';', begin) - begin);
        while (!piece.empty() && (piece.back() == ' ' || piece.back() == '\t')) piece.pop_back();
        // It goes back out in a header line of ours: a blank or a control character could end it.
        bool plain = std::none_of(piece.begin(), piece.end(), [](char c) {
            return static_cast<unsigned char>(c) <= ' ' || c == 0x7F;
        });
        if (piece.size() > 8 && plain) return piece;
    }
    return "";
}

bool ParseRecoveryAnswer(const std::string& text, RecoveryAnswer& answer, std::string& error) {
    answer = RecoveryAnswer();
    const std::pair<const char*, std::string*> keys[] = {{"AP", &answer.AP}, {"AU", &answer.AU}, {"AH", &answer.AH},
                                                         {"AT", &answer.AT}, {"CU", &answer.CU}, {"CH", &answer.CH},
                                                         {"CT", &answer.CT}};
    bool seen[std::size(keys)] = {};
    for (size_t begin = 0; begin < text.size();) {
        size_t end = std::min(text.find('\n', begin), text.size());
        std::string line = text.substr(begin, end - begin);
        begin = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t colon = line.find(": ");
        if (colon == std::string::npos) continue;
        for (size_t i = 0; i < std::size(keys); ++i) {
            if (seen[i] || line.compare(0, colon, keys[i].first) != 0 || colon != 2) continue;
            *keys[i].second = line.substr(colon + 2);
            seen[i] = true;
        }
    }
    std::string missing;
    for (size_t i = 0; i < std::size(keys); ++i)
        if (!seen[i] || keys[i].second->empty()) missing += std::string(missing.empty() ? "" : ", ") + keys[i].first;
    if (!missing.empty()) return error = "it lacks " + missing, false;
    for (const auto& [key, value] : keys)
        if (!Usable(key, *value, error)) return false;
    return true;
}

}  // namespace vu
