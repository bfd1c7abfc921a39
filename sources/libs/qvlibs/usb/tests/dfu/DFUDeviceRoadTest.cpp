// The DFU download and the vendor requests against simulated keyboards served
// to the real libusb through umockdev. The waits of the road are real here
// (2.5 s before each search in update mode, 10 s steps of a manifestation
// that re-enumerates), so the cases are few and each walks a whole road.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "QV/QDV2/DFUDevice.h"
#include "Sha256.h"
#include "SimulatedKeyboardFixture.h"

namespace QV::QDV2 {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using TestSupport::PluggedKeyboard;

constexpr std::uint32_t kMainImageSize = 94720;    // the 49-key keyboard's main image
constexpr std::uint32_t kSecondImageSize = 17192;  // its second image
constexpr const char* kOtherSerial = "SIMKBD0002";

std::string sha256(const Bytes& bytes) { return simkbd::Sha256::hex(bytes); }

// A device that sleeps for real, as the road does, and remembers each sleep;
// it can also be told which device it was connected to before.
class RoadDFUDevice : public DFUDevice {
 public:
  RoadDFUDevice() {
    setSleepFunction([this](std::chrono::nanoseconds d) {
      sleeps.push_back(d);
      std::this_thread::sleep_for(d);
    });
  }
  void remember(const USBDeviceInfo& info, const USBDeviceLocation& place) {
    m_info = info;
    m_location = place;
  }
  std::vector<std::chrono::nanoseconds> sleeps;
};

class DFUDeviceRoadTest : public TestSupport::SimulatedKeyboardTest {
 protected:
  static std::unique_ptr<PluggedKeyboard> plug(const simkbd::KeyboardConfig& config) {
    return TestSupport::plugOrFail(config);
  }

  // Another keyboard of the family, already in update mode: the one a test
  // follows must never be taken for it.
  static simkbd::KeyboardConfig anotherInUpdateMode() { return TestSupport::keyboardConfig(49, kOtherSerial, true); }

  const Bytes mainImage = TestSupport::testImage(kMainImageSize, 1);
  const Bytes secondImage = TestSupport::testImage(kSecondImageSize, 2);
};

TEST_F(DFUDeviceRoadTest, DetachReconnectDownloadAndReturnWithAWillDetachKeyboard) {
  simkbd::KeyboardConfig config;  // 49 keys, will detach, manifestation tolerant
  auto other = plug(anotherInUpdateMode());
  auto keyboard = plug(config);
  ASSERT_TRUE(keyboard && other);

  RoadDFUDevice device;
  ASSERT_TRUE(device.connect(keyboard->waitUntilListed()));
  EXPECT_EQ(device.mode(), DFUDevice::kModeRunTime);
  EXPECT_EQ(device.interfaceNumber(), 1);
  EXPECT_EQ(device.bmAttributes(), 0x0D);
  EXPECT_EQ(device.wTransferSize(), config.transferSize);
  EXPECT_EQ(device.wDetachTimeOut(), config.detachTimeoutMs);

  std::uint32_t secondVersion = 0;
  EXPECT_TRUE(device.getCustomImageVersion(1, secondVersion));
  EXPECT_EQ(secondVersion, config.secondVersion);

  // The keyboard comes back in update mode with a new address on its own
  // port.
  const USBDeviceLocation place = device.location();
  EXPECT_TRUE(place.isKnown());
  const USBDeviceOSHandle runTimeHandle = device.osHandle();

  ASSERT_TRUE(device.sendDFUDetach());
  ASSERT_TRUE(device.reconnectInDFUMode());
  EXPECT_EQ(device.sleeps, (std::vector<std::chrono::nanoseconds>{2500ms}));
  EXPECT_EQ(device.mode(), DFUDevice::kModeDFU);
  EXPECT_NE(device.osHandle(), runTimeHandle);
  EXPECT_TRUE(device.location() == place) << device.location().text() << " instead of " << place.text();
  EXPECT_EQ(device.interfaceNumber(), 0);
  EXPECT_EQ(device.deviceInfo().productId, 0x1352);
  EXPECT_EQ(device.deviceInfo().serialNumber, config.serial);

  DFU::GetStatus status;
  ASSERT_TRUE(device.writeImage(mainImage.data(), kMainImageSize, status));
  EXPECT_EQ(status.bStatus, DFU::OK);
  ASSERT_TRUE(device.writeCustom(secondImage.data(), kSecondImageSize, 1));

  nlohmann::json report = keyboard->report();
  EXPECT_EQ(report["mainImage"]["sha256"], sha256(mainImage));
  EXPECT_EQ(report["secondImage"]["sha256"], sha256(secondImage));
  EXPECT_EQ(report["requestCounts"]["DETACH"], 1);
  EXPECT_EQ(report["requestCounts"]["RESET_INTO_UPDATE"], 0);

  // One DNLOAD per block and the end of data; the other keyboard saw none.
  EXPECT_EQ(report["requestCounts"]["DNLOAD"], kMainImageSize / config.transferSize + 1);
  EXPECT_TRUE(other->report()["requestCounts"]["DNLOAD"] == 0);

  ASSERT_TRUE(device.returnToAPPMode());
  device.disconnect();
  ASSERT_TRUE(TestSupport::waitUntil([&] { return keyboard->report()["mode"] == "normal"; }));
  report = keyboard->report();
  EXPECT_EQ(report["mainVersion"], config.newMainVersion);
  EXPECT_EQ(report["secondVersion"], 13);
}

TEST_F(DFUDeviceRoadTest, VendorResetWithoutSerialAndAManifestationThatReenumerates) {
  simkbd::KeyboardConfig config;
  config.serial.clear();
  config.willDetach = false;
  config.manifestationTolerant = false;
  auto keyboard = plug(config);
  ASSERT_TRUE(keyboard);

  RoadDFUDevice device;
  ASSERT_TRUE(device.connect(keyboard->waitUntilListed()));
  EXPECT_EQ(device.bmAttributes(), 0x01);
  ASSERT_TRUE(device.sendDFUDetach());
  ASSERT_TRUE(device.reconnectInDFUMode());
  EXPECT_EQ(device.mode(), DFUDevice::kModeDFU);

  // The keyboard restarts into its new application during manifestation; the
  // download finds it again in normal mode after one ten-second step.
  DFU::GetStatus status;
  ASSERT_TRUE(device.writeImage(mainImage.data(), kMainImageSize, status));
  EXPECT_EQ(status.bState, DFU::dfuMANIFEST_WAIT_RESET);
  EXPECT_EQ(device.sleeps, (std::vector<std::chrono::nanoseconds>{2500ms, 10s}));
  EXPECT_TRUE(device.isConnected());
  EXPECT_EQ(device.mode(), DFUDevice::kModeRunTime);
  EXPECT_EQ(device.deviceInfo().version, config.newMainVersion);

  // Back in normal mode the second image cannot be written: the keyboard
  // must be taken into update mode once more for it, and then it takes it.
  EXPECT_FALSE(device.writeCustom(secondImage.data(), kSecondImageSize, 1));
  ASSERT_TRUE(device.sendDFUDetach());
  ASSERT_TRUE(device.reconnectInDFUMode());
  ASSERT_TRUE(device.writeCustom(secondImage.data(), kSecondImageSize, 1));
  EXPECT_TRUE(device.returnToAPPMode());
  device.disconnect();

  const nlohmann::json report = keyboard->report();
  EXPECT_EQ(report["mainImage"]["sha256"], sha256(mainImage));
  EXPECT_EQ(report["secondImage"]["sha256"], sha256(secondImage));
  EXPECT_EQ(report["secondVersion"], keyboard->config().newSecondVersion.value_or(13));
  EXPECT_EQ(report["requestCounts"]["RESET_INTO_UPDATE"], 2);
  EXPECT_EQ(report["requestCounts"]["DETACH"], 0);
  EXPECT_EQ(report["requestCounts"]["RESET_FROM_UPDATE"], 1);
  ASSERT_TRUE(QV::TestSupport::waitUntil([&] { return keyboard->report()["mode"] == "normal"; }));
}

TEST_F(DFUDeviceRoadTest, AKeyboardThatDoesNotComeBackIsNotReplacedByAnother) {
  simkbd::KeyboardConfig config;
  config.noReenumerate = true;
  auto other = plug(anotherInUpdateMode());
  auto keyboard = plug(config);
  ASSERT_TRUE(keyboard && other);

  RoadDFUDevice device;
  ASSERT_TRUE(device.connect(keyboard->waitUntilListed()));
  ASSERT_TRUE(device.sendDFUDetach());
  EXPECT_FALSE(device.reconnectInDFUMode());
  EXPECT_FALSE(device.isConnected());

  // A serial number that no other keyboard present has is followed to any
  // port: remembered with the other keyboard's, from the place the first one
  // left, the device finds the other keyboard where it stands, without a wait
  // (nothing was connected to leave).
  const USBDeviceLocation left = device.location();
  ASSERT_TRUE(left.isKnown());
  USBDeviceInfo info = device.deviceInfo();
  info.serialNumber = kOtherSerial;
  device.remember(info, left);
  EXPECT_TRUE(device.reconnectInDFUMode());
  EXPECT_FALSE(device.location() == left) << left.text();
  EXPECT_EQ(device.deviceInfo().serialNumber, kOtherSerial);
  EXPECT_EQ(device.sleeps.size(), 1u);
}

// Linux carries at most 4096 bytes in one control transfer: a keyboard that
// announces more still gets its whole image, in blocks of 4096 bytes. (The
// other sizes above the limit are cut the same way; the scripted transport's
// tests go through them.)
TEST_F(DFUDeviceRoadTest, KeyboardsAnnouncingBlocksAbove4096BytesGetTheImageIn4096ByteBlocks) {
  simkbd::KeyboardConfig config;
  config.startInUpdateMode = true;
  config.transferSize = 4097;
  auto keyboard = plug(config);
  ASSERT_TRUE(keyboard);
  RoadDFUDevice device;
  ASSERT_TRUE(device.connect(keyboard->waitUntilListed()));
  EXPECT_EQ(device.wTransferSize(), 4097);
  DFU::GetStatus status;
  ASSERT_TRUE(device.writeImage(mainImage.data(), kMainImageSize, status)) << int(status.bStatus);

  const nlohmann::json report = keyboard->report();
  EXPECT_EQ(report["mainImage"]["sha256"], sha256(mainImage));
  EXPECT_EQ(report["requestCounts"]["DNLOAD"], (kMainImageSize + 4095) / 4096 + 1);
  for (const nlohmann::json& request : report["requests"]) {
    EXPECT_LE(request["wLength"].get<unsigned>(), 4096u);
  }
}

TEST_F(DFUDeviceRoadTest, FaultsOfTheKeyboardEndTheDownloadWithAClearVerdict) {
  struct Case {
    const char* name;
    void (*configure)(simkbd::KeyboardConfig&);
    std::uint8_t bStatus;
  };
  const Case cases[] = {
      {"errWRITE at block 5", [](simkbd::KeyboardConfig& c) { c.failBlock = 5; }, DFU::errWRITE},
      {"unplugged at block 3", [](simkbd::KeyboardConfig& c) { c.unplugBlock = 3; }, DFU::errUNKNOWN},
      {"short status", [](simkbd::KeyboardConfig& c) { c.shortStatus = true; }, DFU::errUNKNOWN},
      {"stalled DNLOAD", [](simkbd::KeyboardConfig& c) { c.stallRequests = {1}; }, DFU::errUNKNOWN},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    simkbd::KeyboardConfig config;
    config.startInUpdateMode = true;
    c.configure(config);
    auto keyboard = plug(config);
    ASSERT_TRUE(keyboard);
    RoadDFUDevice device;
    ASSERT_TRUE(device.connect(keyboard->waitUntilListed()));
    DFU::GetStatus status;
    EXPECT_FALSE(device.writeImage(mainImage.data(), kMainImageSize, status));
    EXPECT_EQ(status.bStatus, c.bStatus);
    EXPECT_TRUE(device.sleeps.empty());
    EXPECT_NE(keyboard->report()["mainImage"]["complete"], true);
  }
}

}  // namespace
}  // namespace QV::QDV2
