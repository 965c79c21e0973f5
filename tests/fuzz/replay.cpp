// In place of libFuzzer's main: runs every stored input of the corpus
// directories (or single files) named on the command line through the fuzz
// target linked in, once each, in name order. The targets abort on a
// difference, so the name printed before each input is the one that failed.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
// Defined by the targets that need a setup of their own before the first input.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) __attribute__((weak));

namespace {

namespace fs = std::filesystem;

bool replay(const fs::path& file)
{
    std::printf("%s\n", file.c_str());
    std::fflush(stdout);
    // A buffer of exactly the input's size, as libFuzzer passes it, so that
    // the sanitizers catch a read past its end.
    std::error_code error;
    const std::uintmax_t size = fs::file_size(file, error);
    const std::unique_ptr<uint8_t[]> data(new uint8_t[error ? 0 : size]);
    std::ifstream in(file, std::ios::binary);
    if (error || !in.read(reinterpret_cast<char*>(data.get()), std::streamsize(size))) {
        std::fprintf(stderr, "cannot read %s\n", file.c_str());
        return false;
    }
    LLVMFuzzerTestOneInput(data.get(), size_t(size));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS-DIRECTORY-OR-FILE...\n", argv[0]);
        return 2;
    }
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        const fs::path given = argv[i];
        std::error_code error;
        if (!fs::is_directory(given, error)) {
            if (!fs::is_regular_file(given, error)) {
                std::fprintf(stderr, "%s: no such corpus directory or input file\n", argv[i]);
                return 2;
            }
            files.push_back(given);
            continue;
        }
        std::vector<fs::path> inDirectory;
        for (const fs::directory_entry& entry : fs::directory_iterator(given))
            if (entry.is_regular_file())
                inDirectory.push_back(entry.path());
        // An empty corpus would pass without testing anything.
        if (inDirectory.empty()) {
            std::fprintf(stderr, "%s: no stored inputs\n", argv[i]);
            return 2;
        }
        std::sort(inDirectory.begin(), inDirectory.end());
        files.insert(files.end(), inDirectory.begin(), inDirectory.end());
    }

    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    for (const fs::path& file : files)
        if (!replay(file))
            return 1;
    std::printf("%zu inputs replayed\n", files.size());
    return 0;
}
