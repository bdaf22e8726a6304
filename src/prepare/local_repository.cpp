// The local repository of data sets; see local_repository.h.
#include "prepare/local_repository.h"

#include <zip.h>

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "core/globals.h"
#include "core/settings.h"
#include "platform/files.h"

namespace vu {

namespace {

struct Repository {
    std::mutex lock;
    std::vector<FoundDataSet> found;
    std::string foundFolder;  // the folder the list was read from
    std::string path, revision;
    std::string pathFolder;  // the folder the choice was found in
    std::condition_variable idle;
    int running = 0;
};

Repository& R() {
    static Repository repository;
    return repository;
}

using Lock = std::unique_lock<std::mutex>;

const std::string kMarker = "Clover revision: ";
// The legacy boot file is well under a megabyte; a larger "boot" entry is not one, and reading
// it whole could exhaust memory.
constexpr zip_uint64_t kMaxBootSize = 64u << 20;

int32_t RevisionAfterMarker(const std::string& text) {
    size_t at = text.find(kMarker);
    if (at == std::string::npos) return 0;
    int64_t n = 0;
    for (size_t i = at + kMarker.size(); i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); i++) {
        n = n * 10 + (text[i] - '0');
        if (n > INT32_MAX) return INT32_MAX;
    }
    return int32_t(n);
}

// The whole entry, or nothing when it cannot be read completely.
bool ReadEntry(zip_t* archive, zip_uint64_t index, std::string& bytes) {
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive, index, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE) || stat.size > kMaxBootSize)
        return false;
    zip_file_t* file = zip_fopen_index(archive, index, 0);
    if (!file) return false;
    bytes.assign(size_t(stat.size), '\0');
    zip_int64_t got = stat.size ? zip_fread(file, bytes.data(), stat.size) : 0;
    char extra;
    bool longer = zip_fread(file, &extra, 1) > 0;
    zip_fclose(file);
    return got == zip_int64_t(stat.size) && !longer;
}

}  // namespace

int32_t ReadDataSetRevision(const std::string& archivePath) {
    if (archivePath.empty() || FormatFailed) return 0;
    int error = 0;
    zip_t* archive = zip_open(plat::LibraryPath(archivePath).c_str(), ZIP_RDONLY, &error);
    if (!archive) return 0;
    int32_t revision = 0;
    zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count && !FormatFailed; i++) {
        const char* name = zip_get_name(archive, zip_uint64_t(i), 0);
        if (!name || std::string(name) != "boot") continue;
        std::string bytes;
        if (ReadEntry(archive, zip_uint64_t(i), bytes)) revision = RevisionAfterMarker(bytes);
        break;
    }
    zip_close(archive);
    return revision;
}

bool ScanLocalRepository() {
    std::string folder;
    {
        Lock l(R().lock);
        folder = CloverLocalRepository;
    }
    std::vector<FoundDataSet> found;
    for (auto& entry : plat::ListFolder(folder, "*.zip")) {
        if (entry.isFolder) continue;
        if (int32_t revision = ReadDataSetRevision(folder + entry.name)) found.push_back({entry.name, revision});
    }
    std::stable_sort(found.begin(), found.end(), [](auto& a, auto& b) { return a.revision > b.revision; });
    Lock l(R().lock);
    R().found = found;
    R().foundFolder = folder;
    if (found.empty()) return false;
    R().path = folder + found.front().name;
    R().pathFolder = folder;
    R().revision = std::to_string(found.front().revision);
    return true;
}

std::vector<FoundDataSet> FoundDataSets() {
    Lock l(R().lock);
    return R().found;
}

std::string LocalDataSetPath() {
    Lock l(R().lock);
    return R().path;
}

std::string RepositoryDataSetPath() {
    Lock l(R().lock);
    return R().pathFolder == CloverLocalRepository ? R().path : "";
}

std::string LocalDataSetRevision() {
    Lock l(R().lock);
    return R().revision;
}

bool ChooseFoundDataSet(const std::string& name, int32_t& revision) {
    Lock l(R().lock);
    for (auto& set : R().found)
        if (set.name == name) {
            R().path = R().foundFolder + set.name;
            R().pathFolder = R().foundFolder;
            R().revision = std::to_string(set.revision);
            revision = set.revision;
            return true;
        }
    return false;
}

void SetCloverLocalRepository(const std::string& folder) {
    Lock l(R().lock);
    CloverLocalRepository = folder;
}

void StartRepositoryScan() {
    auto ticket = std::make_unique<RepositoryScanTicket>();
    std::thread([ticket = std::move(ticket)] { ScanLocalRepository(); }).detach();
}

void WaitForRepositoryScans() {
    Lock l(R().lock);
    R().idle.wait(l, [] { return R().running == 0; });
}

RepositoryScanTicket::RepositoryScanTicket() {
    Lock l(R().lock);
    R().running++;
}

RepositoryScanTicket::~RepositoryScanTicket() {
    Lock l(R().lock);
    if (--R().running == 0) R().idle.notify_all();
}

}  // namespace vu
