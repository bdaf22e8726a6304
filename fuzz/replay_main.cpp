// Feeds every file of the folders named on the command line to the fuzz target it is linked
// with, so that the seeds and every input that once made a target fail stay tested in the
// ordinary (sanitized) build. A folder that does not exist holds nothing.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// The fuzzer stops an input that asks for more than 2 GiB at once (scripts/fuzz.sh); so does the
// replay, so that such a finding stays caught once it is a regression file.
extern "C" const char* __asan_default_options() { return "max_allocation_size_mb=2048"; }

int main(int argc, char** argv) {
    size_t inputs = 0;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        if (!std::filesystem::is_directory(argv[i], ec)) continue;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[i])) {
            if (!entry.is_regular_file()) continue;
            std::ifstream in(entry.path(), std::ios::binary);
            std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++inputs;
        }
    }
    std::printf("%zu inputs replayed\n", inputs);
    return inputs > 0 ? 0 : 1;
}
