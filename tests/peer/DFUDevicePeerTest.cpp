// dfu-util and our DFUDevice download the same image to two simulated
// keyboards of one family: both keyboards must have received the same bytes,
// and the same bytes as the image.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <glib.h>
#include <gtest/gtest.h>

#include "ChildProcess.h"
#include "QV/QDV2/DFUDevice.h"
#include "SimulatedKeyboardFixture.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using QV::QDV2::DFUDevice;
using QV::TestSupport::PluggedKeyboard;

constexpr std::size_t kImageSize = 94'720;  // the 49-key main image's size

std::vector<std::uint8_t> makeImage() {
  std::vector<std::uint8_t> bytes(kImageSize);
  std::uint32_t x = 0x9E3779B9;
  for (std::uint8_t& b : bytes) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<std::uint8_t>(x >> 7);
  }
  return bytes;
}

std::string sha256(const std::vector<std::uint8_t>& bytes) {
  gchar* digest = g_compute_checksum_for_data(G_CHECKSUM_SHA256, bytes.data(), bytes.size());
  std::string text = digest;
  g_free(digest);
  return text;
}

TEST(DFUDownloadPeers, dfuUtilAndDFUDeviceDeliverTheSameBytes) {
  const std::vector<std::uint8_t> image = makeImage();
  const fs::path folder = fs::temp_directory_path();
  const fs::path imagePath = folder / "image.bin";
  std::ofstream(imagePath, std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));

  simkbd::KeyboardConfig ours;
  ours.serial = "PEER-OURS";
  auto oursKeyboard = QV::TestSupport::plugOrFail(ours);
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
  simkbd::KeyboardConfig theirs;
  theirs.serial = "PEER-DFUUTIL";
  auto theirKeyboard = QV::TestSupport::plugOrFail(theirs);
  ASSERT_NE(theirKeyboard, nullptr);
  const auto outcome = QV::TestSupport::runCommand(
      {"dfu-util", "-d", "17cc:1350,17cc:1352", "-S", "PEER-DFUUTIL", "-D", imagePath.string(),
       "-E", "1"},
      folder / "dfu-util.log", 120s);
  ASSERT_EQ(outcome.exitCode, 0) << outcome.output;

  const auto oursReport = oursKeyboard->report();
  const auto theirReport = theirKeyboard->report();
  const std::string expected = sha256(image);
  EXPECT_EQ(oursReport["mainImage"]["sha256"], expected);
  EXPECT_EQ(oursReport["mainImage"]["size"], image.size());
  EXPECT_TRUE(oursReport["mainImage"]["complete"].get<bool>());
  EXPECT_EQ(theirReport["mainImage"]["sha256"], expected);
  EXPECT_EQ(theirReport["mainImage"]["size"], image.size());
  EXPECT_TRUE(theirReport["mainImage"]["complete"].get<bool>());

  // Both hosts speak the same protocol: one DNLOAD per block, then the
  // zero-length end of data.
  const auto blocks = (image.size() + oursKeyboard->config().transferSize - 1) /
                      oursKeyboard->config().transferSize;
  EXPECT_EQ(oursReport["requestCounts"]["DNLOAD"], blocks + 1);
  EXPECT_EQ(theirReport["requestCounts"]["DNLOAD"], blocks + 1);
}

}  // namespace
