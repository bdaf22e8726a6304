// The catalog walks and the offered list; see recovery_catalog.h.
#include "net/recovery_catalog.h"

#include <algorithm>

#include "core/transfer_progress.h"

namespace vu {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The text up to and including the last "/".
std::string FolderOf(const std::string& url) { return url.substr(0, url.rfind('/') + 1); }

// The state CollectRecoveryPackages keeps across the whole walk.
struct CatalogWalk {
    CatalogWalk(const std::string& f, std::vector<RecoveryEntry>& l) : filter(f), list(l) {}

    const std::string& filter;
    std::vector<RecoveryEntry>& list;
    bool keyDigest = false, keySize = false, keyMetadataUrl = false, keyUrl = false, keyPostDate = false;
    bool found = false;
    RecoveryEntry current;

    void LowerFlags() { keyDigest = keySize = keyMetadataUrl = keyUrl = keyPostDate = found = false; }

    void Visit(const XmlElement& element) {
        const std::string& name = element.name;
        const std::string& text = element.text;
        if (name == "key") {
            if (text == "PostDate") keyPostDate = true;
            else if (text == "Digest") keyDigest = true;
            else if (text == "Size") keySize = true;
            else if (text == "MetadataURL") keyMetadataUrl = true;
            else if (text == "URL") keyUrl = true;
        }
        if (!found) {
            if (name == "string" && keyDigest) {
                current.Digest = text;
                keyDigest = false;
            } else if (name == "integer" && keySize) {
                current.Size = text;
                keySize = false;
            } else if (name == "string" && keyMetadataUrl) {
                current.MetadataUrl = text;
                keyMetadataUrl = false;
            } else if (name == "string" && keyUrl) {
                current.Url = text;
                keyUrl = false;
                if (text.find(filter) != std::string::npos) found = true;
            }
        }
        if (name == "date" && keyPostDate) {
            ParsePostDate(text, current.PostDateValue, current.PostDate);
            current.ProductCode = ProductCodeFromUrl(current.Url);
            bool known = std::any_of(list.begin(), list.end(),
                                     [&](const RecoveryEntry& e) { return e.Digest == current.Digest; });
            if (found && !known) list.push_back(current);
            LowerFlags();
            current = RecoveryEntry{};
        }
        for (const XmlElement& child : element.children) Visit(child);
    }
};

struct DistributionWalk {
    RecoveryEntry& entry;
    bool inAuxinfo = false, keyBuild = false;

    void Visit(const XmlElement& element) {
        if (element.name == "auxinfo") inAuxinfo = true;
        if (element.name == "key" && element.text == "BUILD") keyBuild = true;
        if (element.name == "string" && inAuxinfo && keyBuild) {
            entry.Build = element.text;
            inAuxinfo = keyBuild = false;
        }
        for (const XmlElement& child : element.children) Visit(child);
    }
};

// Keeps the newest entry of each key, the entries without a build counting as one.
void KeepNewestPer(std::vector<RecoveryEntry>& list, size_t keyLength) {
    std::stable_sort(list.begin(), list.end(),
                     [](const RecoveryEntry& a, const RecoveryEntry& b) { return a.PostDateValue > b.PostDateValue; });
    std::vector<RecoveryEntry> kept;
    for (auto& entry : list) {
        std::string key = entry.Build.substr(0, keyLength);
        if (std::none_of(kept.begin(), kept.end(),
                         [&](const RecoveryEntry& k) { return k.Build.substr(0, keyLength) == key; }))
            kept.push_back(std::move(entry));
    }
    list = std::move(kept);
}

}  // namespace

int64_t DecimalValue(const std::string& text) {
    int64_t value = 0;
    for (char c : text) {
        if (!IsDigit(c)) break;
        value = value > (INT64_MAX - 9) / 10 ? INT64_MAX : value * 10 + (c - '0');
    }
    return value;
}

std::string MacOsName(const std::string& build) {
    switch (DecimalValue(build)) {
        case 9: return "Leopard";
        case 10: return "Snow Leopard";
        case 11: return "Lion";
        case 12: return "Mountain Lion";
        case 13: return "Mavericks";
        case 14: return "Yosemite";
        case 15: return "El Capitan";
        case 16: return "Sierra";
        case 17: return "High Sierra";
    }
    return "macOS";
}

std::string ProductCodeFromUrl(const std::string& url) {
    size_t pathStart = 0;
    if (size_t scheme = url.find("://"); scheme != std::string::npos) {
        pathStart = url.find('/', scheme + 3);
        if (pathStart == std::string::npos) return "";
    }
    std::string folder = FolderOf(url);
    for (size_t at = pathStart; at < folder.size();) {
        size_t end = folder.find('/', at);
        std::string piece = folder.substr(at, end - at);
        if (piece.find('-') != std::string::npos) return piece;
        at = end + 1;
    }
    return "";
}

void CollectRecoveryPackages(const XmlElement& root, const std::string& filter, std::vector<RecoveryEntry>& list) {
    CatalogWalk(filter, list).Visit(root);
}

void ReadDistributionBuild(const XmlElement& root, RecoveryEntry& entry) { DistributionWalk{entry}.Visit(root); }

std::optional<std::string> BuildFromIdentifier(const XmlElement& root) {
    const std::string* identifier = root.Attribute("identifier");
    if (!identifier) return std::nullopt;
    std::string build = identifier->substr(identifier->rfind('.') + 1);
    return DecimalValue(build.substr(0, 2)) < 9 ? "" : build;
}

std::string PackageMetadataUrl(const std::string& url) {
    std::string name = url.substr(url.rfind('/') + 1);
    return FolderOf(url) + name.substr(0, name.rfind('.')) + ".pkm";
}

std::string DistributionUrl(const std::string& url) {
    return FolderOf(url) + ProductCodeFromUrl(url) + ".English.dist";
}

std::string RecoveryTitle(const RecoveryEntry& entry) {
    std::string title;
    if (!entry.Build.empty()) title = "(" + entry.Build + ") " + MacOsName(entry.Build);
    if (!entry.PostDate.empty()) title += " " + entry.PostDate;
    if (int64_t size = DecimalValue(entry.Size); size > 0) title += " " + SizeText(size, 0);
    return title;
}

bool ParsePostDate(const std::string& text, int64_t& value, std::string& day) {
    value = 0;
    day.clear();
    // "yyyy-mm-ddThh:ii:ssZ": the date, the time, nothing else.
    const char* mask = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != 20) return false;
    for (size_t i = 0; i < text.size(); i++)
        if (mask[i] == 'd' ? !IsDigit(text[i]) : text[i] != mask[i]) return false;
    auto number = [&](size_t at, size_t n) { return int(DecimalValue(text.substr(at, n))); };
    int y = number(0, 4), m = number(5, 2), d = number(8, 2), hh = number(11, 2), mi = number(14, 2), ss = number(17, 2);
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (m < 1 || m > 12 || d < 1 || d > kDays[m - 1] || (m == 2 && d == 29 && !leap) || hh > 23 || mi > 59 || ss > 59)
        return false;
    // Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's days_from_civil).
    int yy = m <= 2 ? y - 1 : y;
    int era = yy / 400;
    int yoe = yy - era * 400;
    int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    int64_t days = int64_t(era) * 146097 + doe - 719468;
    value = days * 86400 + hh * 3600 + mi * 60 + ss;
    day = text.substr(0, 10);
    return true;
}

std::vector<RecoveryEntry> FinishedRecoveryEntries(std::vector<RecoveryEntry> list,
                                                   const std::vector<RecoveryEntry>& builtIns) {
    if (!list.empty()) {
        KeepNewestPer(list, std::string::npos);
        KeepNewestPer(list, 2);
    }
    for (auto& entry : list) {
        if (entry.Title.empty()) entry.Title = RecoveryTitle(entry);
        if (entry.Title.empty()) entry.Title = entry.Url;
    }
    for (const auto& builtIn : builtIns)
        if (std::none_of(list.begin(), list.end(), [&](const RecoveryEntry& e) { return e.Url == builtIn.Url; }))
            list.push_back({builtIn.Title, builtIn.Url});
    std::stable_sort(list.begin(), list.end(),
                     [](const RecoveryEntry& a, const RecoveryEntry& b) { return a.Title < b.Title; });
    return list;
}

}  // namespace vu
