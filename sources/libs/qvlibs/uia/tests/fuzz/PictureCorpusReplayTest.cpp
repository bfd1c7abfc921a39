// Replays the fuzz corpus of the picture reader, and every cut of each corpus
// file, under the sanitizers of the test build.
#include <CorpusReplay.h>

#include <gtest/gtest.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

TEST(PictureReaderCorpus, EveryFileAndEveryCutOfItIsHandled)
{
    EXPECT_GE(QV::TestSupport::replayCorpus(QV_PICTURE_CORPUS_DIR, LLVMFuzzerTestOneInput), 10);
}
