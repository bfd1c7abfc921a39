// The DFU download and the vendor requests against simulated keyboards served
// to the real libusb through umockdev. The waits of the road are real here
// (2.5 s before each search in update mode, 10 s steps of a manifestation
// that re-enumerates), so the cases are few and each walks a whole road.
#include <gtest/gtest.h>

#include <algorithm>
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

Bytes testImage(std::size_t size, std::uint8_t seed) {
  Bytes image(size);
  std::uint32_t x = 0x9E3779B9u ^ seed;
  for (std::uint8_t& byte : image) {
    x = x * 1664525u + 1013904223u;
    byte = std::uint8_t(x >> 24);
  }
  return image;
}

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
  void remember(const USBDeviceInfo& info) { m_info = info; }
  std::vector<std::chrono::nanoseconds> sleeps;
};

// The requests of one kind in a keyboard's request log, as
// "bRequest wValue wIndex wLength".
std::vector<std::string> requestsOfType(const nlohmann::json& report, std::initializer_list<int> types) {
  std::vector<std::string> found;
  for (const nlohmann::json& r : report["requests"]) {
    const int type = r["bmRequestType"].get<int>();
    if (std::find(types.begin(), types.end(), type) != types.end()) {
      found.push_back(std::to_string(r["bRequest"].get<int>()) + " " + std::to_string(r["wValue"].get<int>()) + " " +
                      std::to_string(r["wIndex"].get<int>()) + " " + std::to_string(r["wLength"].get<int>()));
    }
  }
  return found;
}

std::string req(int bRequest, int wValue, int wIndex, int wLength) {
  return std::to_string(bRequest) + " " + std::to_string(wValue) + " " + std::to_string(wIndex) + " " +
         std::to_string(wLength);
}

class DFUDeviceRoadTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // libusb follows the test bed only when it exists before libusb starts.
    TestSupport::keyboardHost();
  }

  std::unique_ptr<PluggedKeyboard> plug(const simkbd::KeyboardConfig& config) {
    std::string error;
    std::unique_ptr<PluggedKeyboard> keyboard = PluggedKeyboard::plug(config, error);
    EXPECT_TRUE(keyboard) << error;
    return keyboard;
  }

  // Another keyboard of the family, already in update mode: the one a test
  // follows must never be taken for it.
  static simkbd::KeyboardConfig anotherInUpdateMode() {
    simkbd::KeyboardConfig config;
    config.serial = kOtherSerial;
    config.startInUpdateMode = true;
    return config;
  }

  // Waits until the keyboard is back on the bus in normal mode and libusb
  // lists its new appearance.
  static bool backInNormalMode(PluggedKeyboard& keyboard) {
    return TestSupport::waitUntil([&keyboard] {
             const nlohmann::json report = keyboard.report();
             return report["mode"] == "normal" && report["onBus"] == true;
           }) &&
           keyboard.waitUntilListed() != 0;
  }

  const Bytes mainImage = testImage(kMainImageSize, 1);
  const Bytes secondImage = testImage(kSecondImageSize, 2);
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
  EXPECT_EQ(device.deviceInfo().productId, 0x1350);
  EXPECT_EQ(device.deviceInfo().version, config.mainVersion);
  EXPECT_EQ(device.deviceInfo().serialNumber, config.serial);

  std::uint32_t secondVersion = 0;
  EXPECT_TRUE(device.getCustomImageVersion(1, secondVersion));
  EXPECT_EQ(secondVersion, config.secondVersion);
  EXPECT_FALSE(device.writeCustom(secondImage.data(), kSecondImageSize, 1));

  ASSERT_TRUE(device.sendDFUDetach());
  ASSERT_TRUE(device.reconnectInDFUMode());
  EXPECT_EQ(device.sleeps, (std::vector<std::chrono::nanoseconds>{2500ms}));
  EXPECT_EQ(device.mode(), DFUDevice::kModeDFU);
  EXPECT_EQ(device.interfaceNumber(), 0);
  EXPECT_EQ(device.deviceInfo().productId, 0x1352);
  EXPECT_EQ(device.deviceInfo().serialNumber, config.serial);

  DFU::GetStatus status;
  ASSERT_TRUE(device.writeImage(mainImage.data(), kMainImageSize, status));
  EXPECT_EQ(status.bStatus, DFU::OK);
  ASSERT_TRUE(device.writeCustom(secondImage.data(), kSecondImageSize, 1));

  nlohmann::json report = keyboard->report();
  EXPECT_EQ(report["mainImage"]["size"], kMainImageSize);
  EXPECT_EQ(report["mainImage"]["sha256"], sha256(mainImage));
  EXPECT_EQ(report["secondImage"]["size"], kSecondImageSize);
  EXPECT_EQ(report["secondImage"]["sha256"], sha256(secondImage));
  EXPECT_EQ(report["requestCounts"]["DETACH"], 1);
  EXPECT_EQ(report["requestCounts"]["RESET_INTO_UPDATE"], 0);

  // The class requests of the download: each block taken at the first poll,
  // then a manifestation that ends in dfuIDLE within a few one-second steps.
  std::vector<std::string> expected{req(0, 1000, 1, 0)};
  for (int block = 0; block < int(kMainImageSize / 256); ++block) {
    expected.push_back(req(1, block, 0, 256));
    expected.push_back(req(3, 0, 0, 6));
  }
  expected.push_back(req(1, kMainImageSize / 256, 0, 0));
  std::vector<std::string> classRequests = requestsOfType(report, {0x21, 0xA1});
  ASSERT_GT(classRequests.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(classRequests.begin(), classRequests.begin() + std::ptrdiff_t(expected.size())),
            expected);
  EXPECT_EQ(classRequests.back(), req(3, 0, 0, 6));

  std::vector<std::string> customWrites;
  for (int block = 0; block < int(kSecondImageSize / 256); ++block) customWrites.push_back(req(29, block, 0, 256));
  customWrites.push_back(req(29, kSecondImageSize / 256, 0, kSecondImageSize % 256));
  EXPECT_EQ(requestsOfType(report, {0x41}), customWrites);

  EXPECT_TRUE(other->report()["requestCounts"]["DNLOAD"] == 0);

  ASSERT_TRUE(device.returnToAPPMode());
  device.disconnect();
  ASSERT_TRUE(backInNormalMode(*keyboard));
  report = keyboard->report();
  EXPECT_EQ(report["mode"], "normal");
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

  // Remembering the other keyboard's serial number finds it, without a wait:
  // nothing was connected to leave.
  USBDeviceInfo info = device.deviceInfo();
  info.serialNumber = kOtherSerial;
  device.remember(info);
  EXPECT_TRUE(device.reconnectInDFUMode());
  EXPECT_EQ(device.deviceInfo().serialNumber, kOtherSerial);
  EXPECT_EQ(device.sleeps.size(), 1u);
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

  simkbd::KeyboardConfig lying;
  lying.startInUpdateMode = true;
  lying.badConfigDescriptor = true;
  auto keyboard = plug(lying);
  ASSERT_TRUE(keyboard);
  RoadDFUDevice device;
  EXPECT_FALSE(device.connect(keyboard->waitUntilListed()));
  EXPECT_EQ(device.mode(), DFUDevice::kModeNone);
}

TEST_F(DFUDeviceRoadTest, ReturnToAPPModeByVendorResetLeavesUpdateMode) {
  simkbd::KeyboardConfig config;
  config.startInUpdateMode = true;
  config.willDetach = false;
  auto keyboard = plug(config);
  ASSERT_TRUE(keyboard);
  RoadDFUDevice device;
  ASSERT_TRUE(device.connect(keyboard->waitUntilListed()));
  ASSERT_TRUE(device.returnToAPPMode());
  device.disconnect();
  ASSERT_TRUE(backInNormalMode(*keyboard));
  const nlohmann::json report = keyboard->report();
  EXPECT_EQ(report["mode"], "normal");
  EXPECT_EQ(report["requestCounts"]["RESET_FROM_UPDATE"], 1);
}

}  // namespace
}  // namespace QV::QDV2
