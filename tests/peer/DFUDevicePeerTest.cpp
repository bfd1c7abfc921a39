// dfu-util and our DFUDevice download the same image to two simulated
// keyboards of one family: both keyboards must have received the same bytes,
// and the same bytes as the image. The keyboards announce the usual 256-byte
// blocks, the largest that Linux carries in one control transfer (4096), and
// more than that (8191), which both hosts must cut to 4096.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ChildProcess.h"
#include "TemporaryFolder.h"
#include "QV/QDV2/DFUDevice.h"
#include "Sha256.h"
#include "SimulatedKeyboardFixture.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using QV::QDV2::DFUDevice;

constexpr std::size_t kImageSize = 94'720;  // the 49-key main image's size
constexpr std::uint16_t kLargestLinuxBlock = 4096;

class DFUDownloadPeers : public testing::TestWithParam<std::uint16_t> {};

TEST_P(DFUDownloadPeers, dfuUtilAndDFUDeviceDeliverTheSameBytes) {
  const std::uint16_t transferSize = GetParam();
  const std::string size = std::to_string(transferSize);
  const std::vector<std::uint8_t> image = QV::TestSupport::testImage(kImageSize, 0);
  const QV::TestSupport::TemporaryFolder temporary("qv-peer");
  const fs::path& folder = temporary.path();
  ASSERT_FALSE(folder.empty());
  const fs::path imagePath = folder / "image.bin";
  std::ofstream(imagePath, std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));

  simkbd::KeyboardConfig oursConfig = QV::TestSupport::keyboardConfig(49, "PEER-OURS-" + size);
  oursConfig.transferSize = transferSize;
  auto oursKeyboard = QV::TestSupport::plugOrFail(oursConfig);
  ASSERT_NE(oursKeyboard, nullptr);

  // Our side: the engine's sequence, detach, find again, download, leave.
  {
    DFUDevice device;
    ASSERT_TRUE(device.connect(oursKeyboard->waitUntilListed()));
    ASSERT_TRUE(device.sendDFUDetach());
    ASSERT_TRUE(device.reconnectInDFUMode());
    QV::QDV2::DFU::GetStatus status;
    ASSERT_TRUE(device.writeImage(image.data(), std::uint32_t(image.size()), status))
        << "bStatus " << int(status.bStatus) << ", bState " << int(status.bState);
    EXPECT_TRUE(device.returnToAPPMode());
    device.disconnect();
  }

  // dfu-util's side, on a second keyboard picked by its serial number.
  simkbd::KeyboardConfig theirConfig = QV::TestSupport::keyboardConfig(49, "PEER-DFUUTIL-" + size);
  theirConfig.transferSize = transferSize;
  auto theirKeyboard = QV::TestSupport::plugOrFail(theirConfig);
  ASSERT_NE(theirKeyboard, nullptr);
  const auto outcome = QV::TestSupport::runCommand(
      {"dfu-util", "-d", "17cc:1350,17cc:1352", "-S", theirConfig.serial, "-D", imagePath.string(),
       "-E", "1"},
      folder / "dfu-util.log", 120s);
  ASSERT_EQ(outcome.exitCode, 0) << outcome.output;

  const auto oursReport = oursKeyboard->report();
  const auto theirReport = theirKeyboard->report();
  const std::string expected = simkbd::Sha256::hex(image);
  EXPECT_EQ(oursReport["mainImage"]["sha256"], expected);
  EXPECT_EQ(oursReport["mainImage"]["size"], image.size());
  EXPECT_TRUE(oursReport["mainImage"]["complete"].get<bool>());
  EXPECT_EQ(theirReport["mainImage"]["sha256"], expected);
  EXPECT_EQ(theirReport["mainImage"]["size"], image.size());
  EXPECT_TRUE(theirReport["mainImage"]["complete"].get<bool>());

  // Both hosts speak the same protocol: one DNLOAD per block, then the
  // zero-length end of data.
  const std::size_t blockSize = std::min(transferSize, kLargestLinuxBlock);
  const auto blocks = (image.size() + blockSize - 1) / blockSize;
  EXPECT_EQ(oursReport["requestCounts"]["DNLOAD"], blocks + 1);
  EXPECT_EQ(theirReport["requestCounts"]["DNLOAD"], blocks + 1);
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, DFUDownloadPeers, testing::Values(256, 4096, 8191));

}  // namespace
