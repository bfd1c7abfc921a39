// The parts of the USB device and its libusb platform part that need no
// device: the shared connection logic over a platform part of the test's own,
// the decoding of string descriptors and the status words of libusb errors.
#include <gtest/gtest.h>

#include <libusb.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "QV/QDV2/USBDevice.h"
#include "QV/QDV2/USBDeviceOSImpl.h"
#include "USB/Linux/LibusbStatus.h"
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

}  // namespace
}  // namespace QV::QDV2
