// The parts of the USB device and its libusb platform part that need no
// device: the shared connection logic over a platform part of the test's own,
// the decoding of string descriptors, the status words of libusb errors and
// the reading of the kernel's records of devices, from a folder of the test's.
#include <gtest/gtest.h>

#include <libusb.h>

#include <atomic>
#include <cstdint>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "QV/QDV2/USBDevice.h"
#include "QV/QDV2/USBDeviceOSImpl.h"
#include "TemporaryFolder.h"
#include "USB/Linux/LibusbStatus.h"
#include "USB/Linux/SysfsDevice.h"
#include "USB/Linux/USBDeviceOSImpl.h"

namespace QV::QDV2 {
namespace {

// A platform part that opens every handle but 0 and kUnopenable, and answers
// every request with success. Its connect() lets the previous device go, as the
// platform's does.
class FakeOSImpl : public USBDevice::OSImpl {
 public:
  static constexpr USBDeviceOSHandle kUnopenable = 99;

  bool connect(USBDeviceOSHandle handle) override {
    open = handle != 0 && handle != kUnopenable;
    return open;
  }
  void disconnect() override { open = false; }
  bool getDeviceInfo(USBDeviceInfo& info) override {
    info.vendorId = 0x17CC;
    info.serialNumber = "S" + std::to_string(++reads);
    return true;
  }
  USBDevice::Status controlTransfer(USBDevice::Request& request) override {
    if (!open) {
      return USBDevice::kStatusNotConnected;
    }
    request.bytesTransferred = request.wLength;
    return USBDevice::kStatusSuccess;
  }
  const std::uint8_t* getConfigurationDescriptor(std::uint32_t& size) override {
    size = 0;
    return nullptr;
  }

  bool open = false;
  int reads = 0;
};

class LockProbingDevice : public USBDevice {
 public:
  explicit LockProbingDevice(FakeOSImpl* impl) : USBDevice(impl), fake(impl) {}

  bool postConnect() override {
    ++postConnects;
    // Another thread must not get the device's lock while the connection is
    // being completed.
    std::thread probe([this] {
      if (osImpl()->mutex().try_lock()) {
        lockedDuringPostConnect = false;
        osImpl()->mutex().unlock();
      }
    });
    probe.join();
    return true;
  }

  FakeOSImpl* fake;
  int postConnects = 0;
  std::atomic<bool> lockedDuringPostConnect{true};
};

// The rest of the connection's life is tested against simulated keyboards.
TEST(USBDeviceSharedTest, ConnectionIsCompletedUnderTheLockAndAFailedOneLeavesNothingUsable) {
  LockProbingDevice device(new FakeOSImpl);
  ASSERT_TRUE(device.connect(5));
  EXPECT_EQ(device.deviceInfo().serialNumber, "S1");
  EXPECT_EQ(device.postConnects, 1);
  EXPECT_TRUE(device.lockedDuringPostConnect);

  // The info of the device just left stays readable.
  EXPECT_FALSE(device.connect(FakeOSImpl::kUnopenable));
  EXPECT_FALSE(device.isConnected());
  EXPECT_FALSE(device.fake->open);
  EXPECT_EQ(device.osHandle(), 0u);
  EXPECT_EQ(device.postConnects, 1);
  EXPECT_EQ(device.deviceInfo().serialNumber, "S1");
  USBDevice::Request request;
  EXPECT_EQ(device.controlTransfer(request), USBDevice::kStatusNotConnected);
}

TEST(USBDeviceSharedTest, StringDescriptorsAreDecodedWithinTheBytesReceived) {
  struct Case {
    std::vector<std::uint8_t> reply;
    bool ok;
    std::u16string text;
  };
  const Case cases[] = {
      {{6, 3, 'O', 0, 'K', 0}, true, u"OK"},
      {{2, 3}, true, u""},  // lengths 2 and 3 hold no code unit
      {{3, 3, 'A'}, true, u""},
      {{5, 3, 'A', 0, 'B'}, true, u"A"},  // an odd length drops its last byte
      // A bLength beyond what came back is cut to what came back; one shorter
      // than what came back ends the text.
      {{200, 3, 'A', 0, 'B', 0}, true, u"AB"},
      {{4, 3, 'A', 0, 'B', 0}, true, u"A"},
      {{4, 3, 0xAC, 0x20}, true, u"\u20AC"},  // UTF-16LE, beyond Latin-1
      // Not a string descriptor at all.
      {{4, 2, 'A', 0}, false, u""},
      {{1, 3, 'A', 0}, false, u""},
      {{0, 3}, false, u""},
      {{4}, false, u""},
      {{}, false, u""},
  };
  for (const Case& c : cases) {
    std::u16string text = u"stale";
    EXPECT_EQ(LINUX::USBDeviceOSImpl::decodeStringDescriptor(c.reply.data(), c.reply.size(), text), c.ok);
    EXPECT_EQ(text, c.text);
  }
}

TEST(USBDeviceSharedTest, LibusbErrorsBecomeStatusWordsWithTexts) {
  const std::pair<int, const char*> cases[] = {
      {LIBUSB_SUCCESS, "success"},       {12, "success"},
      {LIBUSB_ERROR_PIPE, "Pipe has stalled"}, {LIBUSB_ERROR_NO_DEVICE, "no such device"},
      {LIBUSB_ERROR_TIMEOUT, "Transaction timed out"}, {LIBUSB_ERROR_OTHER, "general error"},
      {-1000, "general error"},
  };
  for (const auto& [error, text] : cases) {
    EXPECT_STREQ(USBDevice::statusAsString(LINUX::statusFromLibusb(error)), text) << error;
  }
}

// A device descriptor, and a configuration descriptor that announces
// `totalLength` bytes followed by `following` bytes of descriptors under it.
std::string descriptors(std::uint16_t totalLength, std::size_t following) {
  std::string bytes(18, '\0');
  bytes[0] = 18;
  bytes[1] = 1;
  bytes += {9, 2, char(totalLength & 0xFF), char(totalLength >> 8), 1, 1, 0, char(0x80), 50};
  return bytes + std::string(following, char(0xAA));
}

// The record of the device at 1-2.3 with address 7, as the kernel writes it
// and spoilt as each row says: the device is never asked what the record
// lacks, so a wrong record must not pass for its identity.
TEST(SysfsDeviceTest, TheKernelsRecordIsTakenOnlyAsTheKernelWritesIt) {
  struct Case {
    const char* name;
    std::map<std::string, std::string> changed;  // attributes replaced; "" removes one
    bool opened;
    std::optional<std::string> serial;           // none: not read
    std::optional<std::size_t> configuration;    // its length; none: not read
  };
  const std::string longest(LINUX::SysfsDevice::kMaxStringAttributeLength - 1, 'S');
  const Case cases[] = {
      {"as the kernel writes it", {}, true, "SER 1", 18},
      {"one line break only is the kernel's", {{"serial", "SER\n\n"}}, true, "SER\n", 18},
      {"a carriage return is the device's", {{"serial", "SER\r\n"}}, true, "SER\r", 18},
      {"the longest string a descriptor holds", {{"serial", longest + "\n"}}, true, longest, 18},
      {"longer than a descriptor holds", {{"serial", longest + "S\n"}}, true, std::nullopt, 18},
      {"the kernel did not keep the string", {{"serial", ""}}, true, std::nullopt, 18},
      {"another address: another device", {{"devnum", "8\n"}}, false, std::nullopt, std::nullopt},
      {"another bus", {{"busnum", "2\n"}}, false, std::nullopt, std::nullopt},
      {"an address that is no number", {{"devnum", "7x\n"}}, false, std::nullopt, std::nullopt},
      {"no address", {{"devnum", ""}}, false, std::nullopt, std::nullopt},
      {"descriptors cut in the configuration's header", {{"descriptors", descriptors(18, 0).substr(0, 26)}}, true,
       "SER 1", std::nullopt},
      {"no configuration after the device descriptor", {{"descriptors", std::string(27, '\x01')}}, true, "SER 1",
       std::nullopt},
      {"a total length shorter than the header", {{"descriptors", descriptors(8, 9)}}, true, "SER 1", std::nullopt},
      {"a configuration announcing more than is there", {{"descriptors", descriptors(0xFFFF, 20)}}, true, "SER 1",
       29},
      {"a second configuration behind the first", {{"descriptors", descriptors(18, 40)}}, true, "SER 1", 18},
      {"no descriptors", {{"descriptors", ""}}, true, "SER 1", std::nullopt},
  };
  USBDeviceLocation location;
  location.busNumber = 1;
  location.depth = 2;
  location.portNumbers = {2, 3};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TestSupport::TemporaryFolder root("sysfs");
    ASSERT_FALSE(root.path().empty());
    const std::filesystem::path folder = root.path() / "1-2.3";
    std::filesystem::create_directories(folder);
    std::map<std::string, std::string> attributes = {
        {"busnum", "1\n"}, {"devnum", "7\n"}, {"serial", "SER 1\n"}, {"descriptors", descriptors(18, 9)}};
    for (const auto& [name, text] : c.changed) attributes[name] = text;
    for (const auto& [name, text] : attributes) {
      if (!text.empty()) std::ofstream(folder / name, std::ios::binary) << text;
    }

    const LINUX::SysfsDevice record = LINUX::SysfsDevice::open(location, 7, root.path().string());
    EXPECT_EQ(bool(record), c.opened);
    std::string serial = "stale";
    EXPECT_EQ(record.readString("serial", serial), c.serial.has_value());
    EXPECT_EQ(serial, c.serial.value_or(""));
    std::vector<std::uint8_t> configuration(3, 0xEE);
    EXPECT_EQ(record.readFirstConfiguration(configuration), c.configuration.has_value());
    EXPECT_EQ(configuration.size(), c.configuration.value_or(0));
    if (!configuration.empty()) {
      EXPECT_EQ(configuration[1], 2);
    }
  }

  // A place unknown names no folder.
  EXPECT_FALSE(LINUX::SysfsDevice::open(USBDeviceLocation{}, 7, "/"));
}

}  // namespace
}  // namespace QV::QDV2
