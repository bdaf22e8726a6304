// The in-process conversion of a bootloader release; see clover_iso_convert.h.
#include "prepare/clover_iso_convert.h"

#include <archive.h>
#include <archive_entry.h>
#include <zip.h>
// On Windows libarchive's header brings <windows.h>, whose DeleteFile macro would rename the seam's.
#undef DeleteFile

#include <cerrno>
#include <map>
#include <vector>

#include "core/work_folder.h"
#include "platform/files.h"
#include "prepare/archive_extract.h"

namespace vu {

namespace {

constexpr size_t BlockSize = 1 << 20;

const char* const kEmptyFolders[] = {
    "EFI/CLOVER/ACPI/origin",
    "EFI/CLOVER/ACPI/patched",
    "EFI/CLOVER/ACPI/WINDOWS",
    "EFI/CLOVER/drivers32UEFI",
    "EFI/CLOVER/kexts",
    "EFI/CLOVER/misc",
    "EFI/CLOVER/ROM",
    "EFI/CLOVER/OEM/SystemProductName/ACPI/origin",
    "EFI/CLOVER/OEM/SystemProductName/ACPI/patched",
    "EFI/CLOVER/OEM/SystemProductName/ROM",
    "EFI/CLOVER/OEM/SystemProductName/kexts",
    "EFI/CLOVER/OEM/SystemProductName/UEFI/ACPI/origin",
    "EFI/CLOVER/OEM/SystemProductName/UEFI/ACPI/patched",
    "EFI/CLOVER/OEM/SystemProductName/UEFI/kexts/Other",
};

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return text;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// An entry name as a path of the tree ("EFI/CLOVER/config.plist"), "" when it is the root or
// would leave the tree.
std::string TreePath(const char* name) {
    if (!name) return "";
    std::string path;
    std::string raw = name;
    size_t begin = 0;
    while (begin <= raw.size()) {
        size_t end = raw.find('/', begin);
        if (end == std::string::npos) end = raw.size();
        std::string part = raw.substr(begin, end - begin);
        if (!part.empty() && part != ".") path += (path.empty() ? "" : "/") + part;
        begin = end + 1;
    }
    std::string safe = path.empty() ? "" : SafeEntryPath(path);
    for (char& c : safe)
        if (c == '\\') c = '/';
    return safe;
}

std::string ParentOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// The data-set tree: folders and files by path, matched without regard to case (the first
// spelling stays); each file's bytes lie in a data file of the work folder.
class Tree {
public:
    struct Node {
        std::string path;
        bool folder = false;
        std::string data;  // the data file (files only)
    };

    bool AddFolder(const std::string& path) {
        if (path.empty()) return true;
        if (!AddFolder(ParentOf(path))) return false;
        auto [it, added] = nodes_.try_emplace(Lower(path), Node{Spelt(path), true, ""});
        return added || it->second.folder;
    }

    bool AddFile(const std::string& path, const std::string& data) {
        if (!AddFolder(ParentOf(path))) return false;
        auto [it, added] = nodes_.try_emplace(Lower(path), Node{Spelt(path), false, data});
        if (!added && it->second.folder) return false;
        it->second.data = data;
        return true;
    }

    const Node* Find(const std::string& path) const {
        auto it = nodes_.find(Lower(path));
        return it == nodes_.end() ? nullptr : &it->second;
    }

    bool IsFolder(const std::string& path) const {
        const Node* node = path.empty() ? nullptr : Find(path);
        return path.empty() || (node && node->folder);
    }

    // Removes a top-level folder with everything in it.
    void RemoveTopFolder(const std::string& name) {
        std::string key = Lower(name);
        for (auto it = nodes_.begin(); it != nodes_.end();)
            it = it->first == key || it->first.rfind(key + "/", 0) == 0 ? nodes_.erase(it) : std::next(it);
    }

    // Removes the top-level files whose names end with `suffix` (lower case).
    void RemoveTopFiles(const std::string& suffix) {
        for (auto it = nodes_.begin(); it != nodes_.end();) {
            bool top = it->first.find('/') == std::string::npos;
            it = top && !it->second.folder && EndsWith(it->first, suffix) ? nodes_.erase(it) : std::next(it);
        }
    }

    // The files directly in `folder` whose names begin with `prefix` (lower case).
    std::vector<Node> FilesIn(const std::string& folder, const std::string& prefix) const {
        std::vector<Node> found;
        for (const auto& [key, node] : nodes_)
            if (!node.folder && Lower(ParentOf(node.path)) == Lower(folder) &&
                Lower(NameOf(node.path)).rfind(prefix, 0) == 0)
                found.push_back(node);
        return found;
    }

    // A copy of the file `from` into the existing folder `folder` ("" = the top) as `name`
    // ("" = its own name), as the copy command does it: nothing when the file or the folder is
    // missing, or a folder of that name is in the way.
    void CopyInto(const std::string& from, const std::string& folder, std::string name = "") {
        const Node* source = Find(from);
        if (!source || source->folder || !IsFolder(folder)) return;
        if (name.empty()) name = NameOf(source->path);
        std::string target = folder.empty() ? name : folder + "/" + name;
        if (IsFolder(target)) return;
        std::string data = source->data;
        AddFile(target, data);
    }

    const std::map<std::string, Node>& Nodes() const { return nodes_; }

private:
    // The path as the tree spells it: its folder as first spelt, its own name as given.
    std::string Spelt(const std::string& path) const {
        std::string parent = ParentOf(path);
        const Node* folder = parent.empty() ? nullptr : Find(parent);
        return folder ? folder->path + "/" + NameOf(path) : path;
    }

    std::map<std::string, Node> nodes_;
};

struct FileSource {
    plat::FileHandle file = 0;
    std::vector<char> buffer = std::vector<char>(BlockSize);
};

la_ssize_t ReadFromFile(archive* a, void* context, const void** block) {
    auto* source = static_cast<FileSource*>(context);
    int64_t n = plat::ReadFileData(source->file, source->buffer.data(), int64_t(source->buffer.size()));
    if (n < 0) {
        archive_set_error(a, EIO, "cannot read the archive file");
        return -1;
    }
    *block = source->buffer.data();
    return la_ssize_t(n);
}

// An archive read from the data of another archive's current entry (the ISO inside the tar).
struct NestedSource {
    archive* outer = nullptr;
    std::vector<char> buffer = std::vector<char>(BlockSize);
};

la_ssize_t ReadFromEntry(archive* a, void* context, const void** block) {
    auto* source = static_cast<NestedSource*>(context);
    la_ssize_t n = archive_read_data(source->outer, source->buffer.data(), source->buffer.size());
    if (n < 0) {
        const char* why = archive_error_string(source->outer);
        archive_set_error(a, EIO, "%s", why ? why : "cannot read the tar entry");
        return -1;
    }
    *block = source->buffer.data();
    return n;
}

class Converter {
public:
    Converter(const std::string& archivePath, const std::string& zipPath, std::string* detail)
        : archivePath_(archivePath), zipPath_(zipPath), detail_(detail) {}

    ConvertResult Run() {
        if (!plat::FileExists(archivePath_)) return Fail("no file " + archivePath_);
        std::string base = EndsWith(Lower(zipPath_), ".zip") ? zipPath_.substr(0, zipPath_.size() - 4) : zipPath_;
        workFolder_ = base + "\\";
        plat::DeleteTree(workFolder_);
        if (!CreateDirectoryTree(workFolder_)) {
            Note("cannot create " + workFolder_);
            return ConvertResult::CannotStart;
        }
        bool ok = Build() && WriteZip();
        plat::DeleteTree(workFolder_);
        if (!ok) {
            plat::DeleteFile(zipPath_);
            return ConvertResult::Failed;
        }
        return ConvertResult::Done;
    }

private:
    void Note(const std::string& what) {
        if (detail_ && detail_->empty()) *detail_ = what;
    }

    ConvertResult Fail(const std::string& what) {
        Note(what);
        return ConvertResult::Failed;
    }

    bool Error(const std::string& what, archive* a) {
        const char* why = a ? archive_error_string(a) : nullptr;
        Note(what + (why ? ": " + std::string(why) : ""));
        return false;
    }

    bool Build() {
        for (const char* folder : kEmptyFolders) tree_.AddFolder(folder);
        if (!ReadTar()) return false;
        tree_.RemoveTopFiles(".iso");
        tree_.RemoveTopFolder("[BOOT]");

        tree_.CopyInto("EFI/CLOVER/config.plist", "EFI/CLOVER/OEM/SystemProductName");
        tree_.CopyInto("EFI/CLOVER/config.plist", "EFI/CLOVER/OEM/SystemProductName/UEFI");
        tree_.CopyInto("EFI/CLOVER/drivers-Off/drivers64UEFI/OsxAptioFixDrv-64.efi", "EFI/CLOVER/drivers64UEFI");
        for (const char* folder : {"usr/standalone/i386/ia32", "usr/standalone/i386/x64"})
            for (const auto& file : tree_.FilesIn(folder, "boot")) tree_.CopyInto(file.path, "");
        tree_.CopyInto("usr/standalone/i386/x64/boot6", "", "boot");
        return true;
    }

    bool ReadTar() {
        FileSource source;
        source.file = plat::OpenFile(archivePath_, plat::FileMode::Read);
        if (!source.file) return Error("cannot open " + archivePath_, nullptr);
        archive* tar = archive_read_new();
        archive_read_support_filter_lzma(tar);
        archive_read_support_format_tar(tar);
        bool ok = archive_read_open(tar, &source, nullptr, ReadFromFile, nullptr) == ARCHIVE_OK;
        if (!ok) Error("not an LZMA-compressed tar", tar);
        int isos = 0, status = ARCHIVE_OK;
        archive_entry* entry = nullptr;
        while (ok && ((status = archive_read_next_header(tar, &entry)) == ARCHIVE_OK || status == ARCHIVE_WARN)) {
            if (archive_filter_code(tar, 0) != ARCHIVE_FILTER_LZMA) {
                ok = Error("the archive is not LZMA-compressed", nullptr);
                break;
            }
            const char* name = archive_entry_pathname(entry);
            if (archive_entry_filetype(entry) != AE_IFREG || !name || !EndsWith(Lower(name), ".iso")) continue;
            ok = ReadIso(tar, name);
            isos++;
        }
        if (ok && status != ARCHIVE_EOF) ok = Error("the tar is damaged", tar);
        if (ok && isos == 0) ok = Error("the tar holds no ISO image", nullptr);
        archive_read_free(tar);
        plat::CloseFile(source.file);
        return ok;
    }

    bool ReadIso(archive* tar, const std::string& name) {
        NestedSource source;
        source.outer = tar;
        archive* iso = archive_read_new();
        archive_read_support_format_iso9660(iso);
        bool ok = archive_read_open(iso, &source, nullptr, ReadFromEntry, nullptr) == ARCHIVE_OK;
        if (!ok) Error(name + " is no ISO image", iso);
        int status = ARCHIVE_OK;
        archive_entry* entry = nullptr;
        while (ok && ((status = archive_read_next_header(iso, &entry)) == ARCHIVE_OK || status == ARCHIVE_WARN)) {
            std::string path = TreePath(archive_entry_pathname_utf8(entry) ? archive_entry_pathname_utf8(entry)
                                                                           : archive_entry_pathname(entry));
            if (path.empty()) continue;
            if (archive_entry_filetype(entry) == AE_IFDIR) {
                if (!tree_.AddFolder(path)) ok = Error(name + ": a file is in the way of the folder " + path, nullptr);
            } else if (archive_entry_filetype(entry) == AE_IFREG) {
                ok = ReadFile(iso, entry, name, path);
            }
        }
        if (ok && status != ARCHIVE_EOF) ok = Error(name + " is damaged", iso);
        archive_read_free(iso);
        return ok;
    }

    bool ReadFile(archive* iso, archive_entry* entry, const std::string& name, const std::string& path) {
        // A file that shares its data with one before it comes as a link to that one.
        if (const char* link = archive_entry_hardlink(entry)) {
            const Tree::Node* target = tree_.Find(TreePath(link));
            if (!target || target->folder) return Error(name + ": " + path + " links to nothing", nullptr);
            std::string data = target->data;
            return tree_.AddFile(path, data) || Error(name + ": a folder is in the way of " + path, nullptr);
        }
        std::string data = workFolder_ + std::to_string(++files_);
        plat::FileHandle out = plat::OpenFile(data, plat::FileMode::Create);
        if (!out) return Error("cannot create " + data, nullptr);
        bool ok = true;
        for (;;) {
            la_ssize_t n = archive_read_data(iso, buffer_.data(), buffer_.size());
            if (n == 0) break;
            if (n < 0) {
                ok = Error(name + ": cannot read " + path, iso);
                break;
            }
            if (plat::WriteFileData(out, buffer_.data(), n) != n) {
                ok = Error("cannot write " + data, nullptr);
                break;
            }
        }
        plat::CloseFile(out);
        return ok && (tree_.AddFile(path, data) || Error(name + ": a folder is in the way of " + path, nullptr));
    }

    bool WriteZip() {
        int error = 0;
        zip_t* zip = zip_open(plat::LibraryPath(zipPath_).c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        if (!zip) return Error("cannot create " + zipPath_, nullptr);
        for (const auto& [key, node] : tree_.Nodes()) {
            if (node.folder) {
                if (zip_dir_add(zip, node.path.c_str(), ZIP_FL_ENC_UTF_8) < 0) return ZipError(zip, node.path);
                continue;
            }
            zip_source_t* source = zip_source_file(zip, plat::LibraryPath(node.data).c_str(), 0, -1);
            if (!source) return ZipError(zip, node.path);
            if (zip_file_add(zip, node.path.c_str(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE) < 0) {
                zip_source_free(source);
                return ZipError(zip, node.path);
            }
        }
        if (zip_close(zip) != 0) return ZipError(zip, zipPath_);
        return true;
    }

    bool ZipError(zip_t* zip, const std::string& what) {
        Note("ZIP: " + what + ": " + zip_strerror(zip));
        zip_discard(zip);
        return false;
    }

    std::string archivePath_, zipPath_, workFolder_;
    std::string* detail_;
    Tree tree_;
    int files_ = 0;
    std::vector<char> buffer_ = std::vector<char>(BlockSize);
};

}  // namespace

ConvertResult ConvertCloverIso(const std::string& archivePath, const std::string& zipPath, std::string* detail) {
    return Converter(archivePath, zipPath, detail).Run();
}

}  // namespace vu
