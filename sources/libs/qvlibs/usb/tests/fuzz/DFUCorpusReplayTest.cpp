// Replays the fuzz corpus of the DFU device, and every cut of each corpus
// file (the same keyboard leaving the bus earlier), under the sanitizers of
// the test build.
#include <CorpusReplay.h>

#include <gtest/gtest.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

TEST(DFUDeviceCorpus, EveryFileAndEveryCutOfItIsHandled)
{
  EXPECT_GE(QV::TestSupport::replayCorpus(QV_DFU_CORPUS_DIR, LLVMFuzzerTestOneInput), 10);
}
