// ZIP extraction: entry names turned into paths below the destination folder, and the files
// written there. Nothing may land outside the destination, and an extraction that reports success
// has written every file entry it accepted.
//
// The first input byte chooses the form of the rest: even, a ZIP archive as it is; odd, entry
// names separated by newlines, packed by the target into a stored archive whose entries hold their
// own names (so the fuzzer explores names without having to keep a ZIP valid).
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/work_folder.h"
#include "fuzz_support.h"
#include "platform/files.h"
#include "platform/sim/sim_files.h"
#include "prepare/archive_extract.h"

namespace {

using namespace vu;
namespace fs = std::filesystem;

const std::string kArchive = "C:\\Work\\archive.zip";
const std::string kDest = "C:\\Work\\Dest\\";

std::set<std::string> HostTree() {
    std::set<std::string> paths;
    fs::path root = fs::path(sim::DriveRoot('C')).parent_path();
    for (auto& entry : fs::recursive_directory_iterator(root)) paths.insert(entry.path().string());
    return paths;
}

// A name the extraction accepted must stay below the destination, read the way Windows reads it.
void CheckAccepted(const std::string& name, const std::string& relative) {
    if (relative.empty()) return;
    if (relative[0] == '\\' || relative.find(':') != std::string::npos || relative.find('/') != std::string::npos)
        fuzz::Fail("accepted an absolute or foreign path: " + name);
    for (const auto& component : fuzz::Split(relative, '\\')) {
        std::string trimmed = component.substr(0, component.find_last_not_of(". ") + 1);
        if (!component.empty() && trimmed.empty()) fuzz::Fail("accepted a climbing path: " + name);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    fuzz::StartSimulatedPc();
    static const std::set<std::string> before = [] {
        CreateDirectoryTree("C:\\Work\\");
        plat::WriteWholeFile(kArchive, "");
        return HostTree();
    }();

    std::string archive(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::vector<fuzz::ZipEntry> made;
    if (data[0] % 2) {
        for (const auto& name : fuzz::Split(archive, '\n')) made.push_back({name, name});
        archive = fuzz::MakeZip(made);
    }
    std::vector<std::string> names = fuzz::ZipNames(archive);
    std::map<std::string, std::string> expected;  // the file entries accepted, by host path
    for (size_t i = 0; i < names.size(); ++i) {
        std::string relative = SafeEntryPath(names[i]);
        CheckAccepted(names[i], relative);
        if (i < made.size() && !relative.empty() && relative.back() != '\\')
            expected[sim::HostPath(kDest + relative)] = made[i].contents;
    }
    if (!plat::WriteWholeFile(kArchive, archive)) fuzz::Fail("cannot write the archive");

    bool extracted = ExtractArchive(nullptr, 0, kDest, false, kArchive, false, false);

    std::string dest = sim::HostPath(kDest);
    for (const auto& path : HostTree())
        if (!before.count(path) && path != dest && path.rfind(dest + "/", 0) != 0)
            fuzz::Fail("extraction wrote outside its folder: " + path);
    if (extracted)
        for (const auto& [path, contents] : expected) {
            std::ifstream in(path, std::ios::binary);
            if (!in || std::string(std::istreambuf_iterator<char>(in), {}) != contents)
                fuzz::Fail("extraction reported success without the file " + path);
        }
    plat::DeleteTree(kDest);
    return 0;
}
