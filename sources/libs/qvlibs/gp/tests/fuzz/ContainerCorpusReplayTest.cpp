// Replays the fuzz corpus of the container reader, and cuts of each corpus
// file, under the sanitizers of the test build.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

TEST(ContainerCorpus, EveryFileAndCutsOfItAreHandled)
{
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(QV_CONTAINER_CORPUS_DIR))
    {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // Every opening through the file system costs, so cuts go in steps
        // that still land inside each header, entry and item of the files.
        for (std::size_t size = 0; size <= bytes.size(); size += size < 64 ? 16 : 23)
        {
            const std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
            LLVMFuzzerTestOneInput(cut.data(), cut.size());
        }
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
        ++files;
    }
    EXPECT_GE(files, 6);
}
