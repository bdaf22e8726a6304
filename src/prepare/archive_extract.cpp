// ZIP extraction with libzip; see archive_extract.h.
#include "prepare/archive_extract.h"

#include <zip.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/globals.h"
#include "core/status_bar.h"
#include "core/work_folder.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/gui.h"
#include "prepare/package_unpack.h"

namespace vu {

namespace {

bool OnlyDotsAndBlanks(const std::string& component) {
    return std::all_of(component.begin(), component.end(), [](char c) { return c == '.' || c == ' '; });
}

// Copies one file entry to `target` through the file seam; a partial file is removed again.
bool ExtractEntry(zip_t* archive, zip_uint64_t index, const std::string& target) {
    zip_file_t* entry = zip_fopen_index(archive, index, 0);
    if (!entry) return false;
    plat::FileHandle out = plat::OpenFile(target, plat::FileMode::Create);
    bool ok = out != 0;
    std::vector<char> chunk(1 << 16);
    while (ok) {
        zip_int64_t got = zip_fread(entry, chunk.data(), chunk.size());
        if (got == 0) break;
        ok = got > 0 && plat::WriteFileData(out, chunk.data(), got) == got;
    }
    zip_fclose(entry);
    if (out) plat::CloseFile(out);
    if (!ok) plat::DeleteFile(target);
    return ok;
}

void ClearStatusBar() { DrawProgressBar(StatusBarGadget, "", 0); }

}  // namespace

std::string SafeEntryPath(const std::string& entryName) {
    std::string path = entryName;
    std::replace(path.begin(), path.end(), '/', '\\');
    if (path.empty() || path[0] == '\\' || path.find(':') != std::string::npos) return "";
    size_t begin = 0;
    while (begin < path.size()) {
        size_t end = path.find('\\', begin);
        if (end == std::string::npos) end = path.size();
        std::string component = path.substr(begin, end - begin);
        if (!component.empty() && OnlyDotsAndBlanks(component)) return "";
        begin = end + 1;
    }
    return path;
}

bool ExtractArchive(const unsigned char* start, std::size_t length, std::string destFolder, bool fromPackage,
                    std::string archivePath, bool showProgress, bool deleteArchive) {
    if (FormatFailed || destFolder.empty()) return false;
    if (destFolder.back() != '\\' && destFolder.back() != '/') destFolder += '\\';

    // An unpacked package lives in a working folder of this extraction alone, gone when it ends.
    WorkFolder unpacked;
    if (fromPackage) {
        if (!start || length == 0) return false;
        archivePath = UnpackInternalMemoryToTempFile(start, length, unpacked);
        if (archivePath.empty()) return false;
    }

    int error = 0;
    zip_t* archive = zip_open(plat::LibraryPath(archivePath).c_str(), ZIP_RDONLY, &error);
    if (!archive) return false;
    zip_int64_t count = zip_get_num_entries(archive, 0);
    if (count < 0) {
        zip_discard(archive);
        return false;
    }

    if (showProgress) ClearStatusBar();

    bool result = true;
    for (zip_int64_t i = 0; i < count; ++i) {
        if (FormatFailed) break;
        const char* name = zip_get_name(archive, zip_uint64_t(i), ZIP_FL_ENC_GUESS);
        std::string relative = name ? SafeEntryPath(name) : "";
        if (!relative.empty()) {
            std::string target = destFolder + relative;
            std::string folder = target.substr(0, target.rfind('\\') + 1);
            CreateDirectoryTree(folder);
            // A name ending in a separator is a folder entry: the folder is all there is to make.
            if (target.back() != '\\' && !ExtractEntry(archive, zip_uint64_t(i), target)) {
                result = false;
                break;
            }
        }
        if (showProgress) {
            int done = int(i + 1);
            DrawProgressBar(StatusBarGadget,
                            "Extracted (" + std::to_string(done) + "/" + std::to_string(count) + ") files to " +
                                destFolder,
                            int(std::lround(done * 100.0 / double(count))));
        }
    }

    zip_discard(archive);
    plat::Sleep(1000);
    if (deleteArchive && plat::FileSize(archivePath) > 0) plat::DeleteFile(archivePath);
    if (showProgress && plat::GadgetExists(StatusBarGadget)) ClearStatusBar();
    return result;
}

}  // namespace vu
