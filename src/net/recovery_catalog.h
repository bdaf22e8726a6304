// Recovery HD packages as Apple's software-update catalogs describe them: the walks over a
// catalog, a package's metadata and its distribution file, the names and titles made from what
// they hold, and the list the Download Center offers from them (one entry per macOS major version,
// the newest, with the built-in entries added). Pure functions over parsed documents; any thread.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "net/recovery_list.h"
#include "net/xml_tree.h"

namespace vu {

// The number the leading digits of `text` make ("464000000 bytes" -> 464000000), saturating; 0 when
// it starts with none.
int64_t DecimalValue(const std::string& text);

// "Sierra" for a build whose leading number (the digits before its first letter) is 16, ...;
// "macOS" for any other.
std::string MacOsName(const std::string& build);

// The first folder of the URL's path that contains "-" ("031-20634"), or "". The host is not
// part of the path, so a mirror's name never stands in for a product.
std::string ProductCodeFromUrl(const std::string& url);

// The depth-first walk of a catalog: the first package of each product whose URL contains
// `filter`, with the product's PostDate, appended to `list` unless an entry of `list` has its
// Digest already.
void CollectRecoveryPackages(const XmlElement& root, const std::string& filter, std::vector<RecoveryEntry>& list);

// The depth-first walk of a distribution file: the string after the key "BUILD" inside "auxinfo"
// becomes entry.Build.
void ReadDistributionBuild(const XmlElement& root, RecoveryEntry& entry);

// The build in a package metadata document: the text after the last "." of the root element's
// "identifier"; "" when that text is a word (its first two characters make a number below 9);
// nullopt when the root element has no identifier.
std::optional<std::string> BuildFromIdentifier(const XmlElement& root);

// Where a package's metadata and its product's distribution file lie: beside the package,
// "<name without extension>.pkm" and "<product code>.English.dist".
std::string PackageMetadataUrl(const std::string& url);
std::string DistributionUrl(const std::string& url);

// "(16G29) Sierra 2017-07-19 464 MB": the build and its macOS name, the post date and the size,
// each only when known.
std::string RecoveryTitle(const RecoveryEntry& entry);

// A catalog date ("2017-07-19T17:41:52Z") as seconds since 1970 and as "2017-07-19"; false when it
// is no such date.
bool ParsePostDate(const std::string& text, int64_t& value, std::string& day);

// The list as offered: the newest entry per build, then per macOS major version (the first two
// characters of the build; entries without a build count as one), every built-in entry whose URL
// is missing added with its title and URL, all sorted by title. An entry that never got a title
// (its catalog's pass ended early) gets one from what is known of it.
std::vector<RecoveryEntry> FinishedRecoveryEntries(std::vector<RecoveryEntry> list,
                                                   const std::vector<RecoveryEntry>& builtIns);

}  // namespace vu
