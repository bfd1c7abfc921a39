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
// every request with success.
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

TEST(USBDeviceSharedTest, ConnectionLifecycleOverAPlatformPart) {
  LockProbingDevice device(new FakeOSImpl);

  // Not connected: nothing is sent and the count is left alone.
  USBDevice::Request request;
  request.wLength = 4;
  std::uint8_t data[4] = {};
  request.data = data;
  request.bytesTransferred = 77;
  EXPECT_EQ(device.controlTransfer(request), USBDevice::kStatusNotConnected);
  EXPECT_EQ(request.bytesTransferred, 77u);
  EXPECT_STREQ(USBDevice::statusAsString(device.controlTransfer(request)), "device not connected");

  ASSERT_TRUE(device.connect(5));
  EXPECT_TRUE(device.isConnected());
  EXPECT_EQ(device.osHandle(), 5u);
  EXPECT_EQ(device.deviceInfo().serialNumber, "S1");
  EXPECT_EQ(device.postConnects, 1);
  EXPECT_TRUE(device.lockedDuringPostConnect);
  EXPECT_EQ(device.controlTransfer(request), USBDevice::kStatusSuccess);
  EXPECT_EQ(request.bytesTransferred, 4u);

  // Connecting again replaces the device and reads its info anew.
  ASSERT_TRUE(device.connect(6));
  EXPECT_EQ(device.osHandle(), 6u);
  EXPECT_EQ(device.deviceInfo().serialNumber, "S2");
  EXPECT_EQ(device.postConnects, 2);

  // A failed connection leaves nothing usable behind, but the info of the
  // device just left stays readable.
  EXPECT_FALSE(device.connect(FakeOSImpl::kUnopenable));
  EXPECT_FALSE(device.isConnected());
  EXPECT_EQ(device.osHandle(), 0u);
  EXPECT_EQ(device.postConnects, 2);
  EXPECT_EQ(device.deviceInfo().serialNumber, "S2");
  EXPECT_EQ(device.controlTransfer(request), USBDevice::kStatusNotConnected);

  ASSERT_TRUE(device.connect(7));
  device.disconnect();
  EXPECT_FALSE(device.isConnected());
  EXPECT_EQ(device.osHandle(), 0u);
  EXPECT_EQ(device.deviceInfo().serialNumber, "S3");
  EXPECT_FALSE(device.fake->open);
}

std::u16string decode(const std::vector<std::uint8_t>& reply, bool& ok) {
  std::u16string text = u"stale";
  ok = LINUX::USBDeviceOSImpl::decodeStringDescriptor(reply.data(), reply.size(), text);
  return text;
}

TEST(USBDeviceSharedTest, StringDescriptorsAreDecodedWithinTheBytesReceived) {
  bool ok = false;
  EXPECT_EQ(decode({6, 3, 'O', 0, 'K', 0}, ok), u"OK");
  EXPECT_TRUE(ok);
  // Lengths 2 and 3 hold no code unit.
  EXPECT_EQ(decode({2, 3}, ok), u"");
  EXPECT_TRUE(ok);
  EXPECT_EQ(decode({3, 3, 'A'}, ok), u"");
  EXPECT_TRUE(ok);
  // An odd length drops its last byte.
  EXPECT_EQ(decode({5, 3, 'A', 0, 'B'}, ok), u"A");
  EXPECT_TRUE(ok);
  // A bLength beyond what came back is cut to what came back; one shorter
  // than what came back ends the text.
  EXPECT_EQ(decode({200, 3, 'A', 0, 'B', 0}, ok), u"AB");
  EXPECT_TRUE(ok);
  EXPECT_EQ(decode({4, 3, 'A', 0, 'B', 0}, ok), u"A");
  EXPECT_TRUE(ok);
  // UTF-16LE, beyond Latin-1.
  EXPECT_EQ(decode({4, 3, 0xAC, 0x20}, ok), u"\u20AC");
  EXPECT_TRUE(ok);

  // Not a string descriptor at all.
  EXPECT_EQ(decode({4, 2, 'A', 0}, ok), u"");
  EXPECT_FALSE(ok);
  EXPECT_EQ(decode({1, 3, 'A', 0}, ok), u"");
  EXPECT_FALSE(ok);
  EXPECT_EQ(decode({0, 3}, ok), u"");
  EXPECT_FALSE(ok);
  EXPECT_EQ(decode({4}, ok), u"");
  EXPECT_FALSE(ok);
  EXPECT_EQ(decode({}, ok), u"");
  EXPECT_FALSE(ok);
}

TEST(USBDeviceSharedTest, LibusbErrorsBecomeStatusWordsWithTexts) {
  struct Case {
    int error;
    const char* text;
  };
  const Case cases[] = {
      {LIBUSB_SUCCESS, "success"},
      {12, "success"},
      {LIBUSB_ERROR_PIPE, "Pipe has stalled"},
      {LIBUSB_ERROR_NO_DEVICE, "no such device"},
      {LIBUSB_ERROR_TIMEOUT, "Transaction timed out"},
      {LIBUSB_ERROR_BUSY, "Device Busy"},
      {LIBUSB_ERROR_ACCESS, "privilege violation"},
      {LIBUSB_ERROR_INVALID_PARAM, "invalid argument"},
      {LIBUSB_ERROR_OVERFLOW, "data overrun"},
      {LIBUSB_ERROR_IO, "General I/O error"},
      {LIBUSB_ERROR_NO_MEM, "can't allocate memory"},
      {LIBUSB_ERROR_NOT_SUPPORTED, "unsupported function"},
      {LIBUSB_ERROR_INTERRUPTED, "general error"},
      {LIBUSB_ERROR_NOT_FOUND, "general error"},
      {LIBUSB_ERROR_OTHER, "general error"},
      {-1000, "general error"},
  };
  for (const Case& c : cases) {
    EXPECT_STREQ(USBDevice::statusAsString(LINUX::statusFromLibusb(c.error)), c.text) << c.error;
  }
}

}  // namespace
}  // namespace QV::QDV2
