// Replays the fuzz corpus of the catalogue reader, and every cut of each
// corpus file, under the sanitizers of the test build.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

TEST(MoReaderCorpus, EveryFileAndEveryCutOfItIsHandled)
{
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(QV_MO_CORPUS_DIR)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (std::size_t size = 0; size <= bytes.size(); ++size) {
            // A copy of exactly the size, so that ASan sees any read past it.
            const std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
            LLVMFuzzerTestOneInput(cut.data(), cut.size());
        }
        ++files;
    }
    EXPECT_GE(files, 4);
}
