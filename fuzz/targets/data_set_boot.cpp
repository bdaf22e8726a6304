// The revision of a data-set archive, read from its root entry "boot" after "Clover revision: ".
//
// The first input byte chooses the form of the rest: even, a ZIP archive as it is; odd, the
// contents of a "boot" entry, packed by the target into a stored archive (so the fuzzer reaches
// the marker without having to keep a ZIP and its checksums valid).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/work_folder.h"
#include "fuzz_support.h"
#include "platform/files.h"
#include "prepare/local_repository.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vu;
    if (size == 0) return 0;
    fuzz::StartSimulatedPc();
    static const std::string archive = [] {
        CreateDirectoryTree("C:\\Repository\\");
        return std::string("C:\\Repository\\CloverISO-5151.zip");
    }();

    std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] % 2) {
        std::vector<fuzz::ZipEntry> entries{{"EFI/", ""}, {"boot", bytes}};
        bytes = fuzz::MakeZip(entries);
    }
    if (!plat::WriteWholeFile(archive, bytes)) fuzz::Fail("cannot write the archive");
    if (ReadDataSetRevision(archive) < 0) fuzz::Fail("a negative revision");
    return 0;
}
