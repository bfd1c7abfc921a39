// USBDevice over the real libusb, against simulated keyboards served through
// umockdev. The keyboards are plugged once for the whole suite; only the test
// of a keyboard that leaves plugs one of its own.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "QV/QDV2/DFU.h"
#include "QV/QDV2/DFUDevice.h"
#include "QV/QDV2/USBDescriptor.h"
#include "QV/QDV2/USBDevice.h"
#include "QV/QDV2/USBDeviceDB.h"
#include "QV/QDV2/USBDeviceSighting.h"
#include "SimulatedKeyboardFixture.h"

namespace QV::QDV2 {
namespace {

using TestSupport::deviceDescriptorRequest;
using TestSupport::PluggedKeyboard;
using TestSupport::plugOrFail;

constexpr USBDevice::Status kIOUSBPipeStalled = 0xE000404F;
constexpr USBDevice::Status kIOUSBTransactionTimeout = 0xE0004051;

std::size_t requestCount(const PluggedKeyboard& keyboard) { return keyboard.report()["requests"].size(); }

// DFU_GETSTATUS on the run-time interface: an ordinary class read.
USBDevice::Request getStatusRequest(std::array<std::uint8_t, 6>& reply) {
  USBDevice::Request request;
  request.bmRequestType = 0xA1;
  request.bRequest = DFU::DFU_GETSTATUS;
  request.wIndex = 1;
  request.wLength = std::uint16_t(reply.size());
  request.data = reply.data();
  return request;
}

// The descriptors of a configuration block, in order, as getNext yields them.
std::vector<const USB::DescriptorHeader*> walk(const std::uint8_t* block, std::uint32_t size) {
  std::vector<const USB::DescriptorHeader*> found;
  auto d = reinterpret_cast<const USB::DescriptorHeader*>(block);
  for (std::uint32_t remaining = size; d != nullptr; d = USB::Descriptor::getNext(d, remaining)) {
    found.push_back(d);
  }
  return found;
}

class USBDeviceKeyboardTest : public TestSupport::SimulatedKeyboardTest {
 protected:
  static void SetUpTestSuite() {
    SimulatedKeyboardTest::SetUpTestSuite();
    s_plain = plugForSuite(TestSupport::keyboardConfig(49, "SIMKBD0001"));
    s_noSerial = plugForSuite(TestSupport::keyboardConfig(25, ""));
    simkbd::KeyboardConfig stalling = TestSupport::keyboardConfig(61, "STALL0061");
    stalling.stallRequests = {DFU::DFU_GETSTATUS};
    s_stalling = plugForSuite(stalling);
    simkbd::KeyboardConfig badConfiguration = TestSupport::keyboardConfig(88, "BADCFG0088");
    badConfiguration.badConfigDescriptor = true;
    s_badConfiguration = plugForSuite(badConfiguration);
  }

  // The requests each keyboard of the suite has received so far.
  static std::vector<std::size_t> requestCounts() {
    std::vector<std::size_t> counts;
    for (const PluggedKeyboard* keyboard : {s_plain, s_noSerial, s_stalling, s_badConfiguration}) {
      counts.push_back(requestCount(*keyboard));
    }
    return counts;
  }

  static inline PluggedKeyboard* s_plain = nullptr;
  static inline PluggedKeyboard* s_noSerial = nullptr;
  static inline PluggedKeyboard* s_stalling = nullptr;
  static inline PluggedKeyboard* s_badConfiguration = nullptr;
};

// The identity is the kernel's record of the keyboard: reading it, in a scan
// or a connection, sends the keyboard nothing, which one busy writing a block
// would refuse and fall into dfuERROR for.
TEST_F(USBDeviceKeyboardTest, ConnectReadsIdsReleaseNumberAndStrings) {
  const std::vector<std::size_t> sent = requestCounts();
  USBDevice device;
  ASSERT_TRUE(device.connect(s_plain->handle()));
  EXPECT_TRUE(device.isConnected());
  EXPECT_EQ(device.osHandle(), s_plain->handle());
  const USBDeviceInfo& info = device.deviceInfo();
  EXPECT_EQ(info.vendorId, 0x17CC);
  EXPECT_EQ(info.productId, 0x1350);
  EXPECT_EQ(info.version, 68);
  EXPECT_EQ(info.manufacturer, "ORVEL TARSIN (simulated)");
  EXPECT_EQ(info.product, "VANTA Keyboard 49");
  EXPECT_EQ(info.serialNumber, "SIMKBD0001");

  // Connecting while connected replaces the device and its info; a serial
  // number of the earlier device must not stay behind.
  ASSERT_TRUE(device.connect(s_noSerial->handle()));
  EXPECT_EQ(device.deviceInfo().product, "VANTA Keyboard 25");
  EXPECT_EQ(device.deviceInfo().serialNumber, "");
  ASSERT_TRUE(device.connect(s_stalling->handle()));
  EXPECT_EQ(device.deviceInfo().productId, 0x1360);

  // The info of the device just left stays readable.
  device.disconnect();
  EXPECT_FALSE(device.isConnected());
  EXPECT_EQ(device.osHandle(), 0u);
  EXPECT_EQ(device.deviceInfo().serialNumber, "STALL0061");

  // Nor does a DFU device's, which walks the configuration too.
  DFUDevice dfu;
  ASSERT_TRUE(dfu.connect(s_plain->handle()));
  EXPECT_EQ(dfu.mode(), DFUDevice::kModeRunTime);
  EXPECT_EQ(dfu.wTransferSize(), 256);
  dfu.disconnect();

  // A scan reads every keyboard, and opens none.
  const std::vector<USBDeviceSighting> seen = USBDeviceSighting::scan(USBDeviceDB::QVUSBDevices);
  std::multiset<std::string> serials;
  for (const USBDeviceSighting& sighting : seen) {
    EXPECT_TRUE(sighting.stringsRead) << sighting.info.serialNumber;
    serials.insert(sighting.info.serialNumber);
  }
  EXPECT_EQ(serials, (std::multiset<std::string>{"SIMKBD0001", "", "STALL0061", "BADCFG0088"}));
  EXPECT_EQ(requestCounts(), sent);

  // Without strings the read gives the ids alone.
  USBDeviceInfo idsOnly;
  ASSERT_TRUE(USBDevice::getDeviceInfoForOSHandle(s_plain->handle(), idsOnly, false));
  EXPECT_EQ(idsOnly.vendorId, 0x17CC);
  EXPECT_EQ(idsOnly.productId, 0x1350);
  EXPECT_EQ(idsOnly.version, 68);
  EXPECT_TRUE(idsOnly.serialNumber.empty());

  USBDeviceInfo full;
  ASSERT_TRUE(USBDevice::getDeviceInfoForOSHandle(s_plain->handle(), full, true));
  EXPECT_EQ(full.product, "VANTA Keyboard 49");
  EXPECT_EQ(full.serialNumber, "SIMKBD0001");

  // A handle that names no device opens nothing.
  EXPECT_FALSE(device.connect(0));
  EXPECT_FALSE(USBDevice::getDeviceInfoForOSHandle(0xFFFFFFF0, full, true));
}

TEST_F(USBDeviceKeyboardTest, ControlTransfersReportTheDevicesAnswer) {
  std::array<std::uint8_t, 6> reply{};
  reply.fill(0xEE);

  USBDevice device;
  ASSERT_TRUE(device.connect(s_plain->handle()));
  USBDevice::Request request = getStatusRequest(reply);
  ASSERT_EQ(device.controlTransfer(request), USBDevice::kStatusSuccess);
  EXPECT_EQ(request.bytesTransferred, 6u);
  EXPECT_EQ(reply[0], DFU::OK);
  EXPECT_EQ(reply[4], DFU::appIDLE);

  // Past its deadline: nothing is sent, and the request has timed out.
  const std::size_t beforeDeadline = requestCount(*s_plain);
  USBDevice::Wait late;
  late.deadline = std::chrono::steady_clock::now() - std::chrono::milliseconds(1);
  EXPECT_EQ(device.controlTransfer(request, late), kIOUSBTransactionTimeout);
  EXPECT_EQ(requestCount(*s_plain), beforeDeadline);

  // Closed: nothing is sent, the count stays as it was.
  device.disconnect();
  const std::size_t before = requestCount(*s_plain);
  request.bytesTransferred = 1234;
  EXPECT_EQ(device.controlTransfer(request), USBDevice::kStatusNotConnected);
  EXPECT_EQ(request.bytesTransferred, 1234u);
  std::array<std::uint8_t, 18> descriptor{};
  USBDevice::Request queued[] = {getStatusRequest(reply), deviceDescriptorRequest(descriptor)};
  USBDevice::Status statuses[] = {0, 0};
  device.controlTransfers(queued, statuses);
  EXPECT_EQ(statuses[0], USBDevice::kStatusNotConnected);
  EXPECT_EQ(statuses[1], USBDevice::kStatusNotConnected);
  EXPECT_EQ(requestCount(*s_plain), before);

  USBDevice stalling;
  ASSERT_TRUE(stalling.connect(s_stalling->handle()));
  request = getStatusRequest(reply);
  const USBDevice::Status status = stalling.controlTransfer(request);
  EXPECT_EQ(status, kIOUSBPipeStalled);
  EXPECT_STREQ(USBDevice::statusAsString(status), "Pipe has stalled");
  // A stall clears itself: the next standard request goes through.
  USBDevice::Request standard = deviceDescriptorRequest(descriptor);
  EXPECT_EQ(stalling.controlTransfer(standard), USBDevice::kStatusSuccess);

  // Queued together, a request reaches the device and brings its answer back
  // even when the one before it stalled.
  const std::size_t sent = requestCount(*s_stalling);
  queued[0] = getStatusRequest(reply);
  queued[1] = deviceDescriptorRequest(descriptor);
  stalling.controlTransfers(queued, statuses);
  EXPECT_EQ(statuses[0], kIOUSBPipeStalled);
  EXPECT_EQ(statuses[1], USBDevice::kStatusSuccess);
  EXPECT_EQ(queued[1].bytesTransferred, descriptor.size());
  EXPECT_EQ(descriptor[0], descriptor.size());
  EXPECT_EQ(descriptor[1], 1);  // the device descriptor's type
  EXPECT_EQ(requestCount(*s_stalling), sent + 2);

  // A request that cannot be handed to the platform at all does not keep
  // the one after it from the device either.
  queued[0] = getStatusRequest(reply);
  queued[0].data = nullptr;
  queued[1] = deviceDescriptorRequest(descriptor);
  stalling.controlTransfers(queued, statuses);
  EXPECT_EQ(statuses[0], 0xE00002C2u);  // bad argument
  EXPECT_EQ(statuses[1], USBDevice::kStatusSuccess);
  EXPECT_EQ(requestCount(*s_stalling), sent + 3);
}

// A keyboard whose serial number the kernel did not keep, and that does not
// give it when asked: its identity cannot be read, so neither a connection
// nor a scan takes it for a keyboard without a serial number, and each waits
// for it no longer than a request may take.
TEST_F(USBDeviceKeyboardTest, AKeyboardThatDoesNotGiveItsSerialNumberIsNotRead) {
  simkbd::KeyboardConfig config = TestSupport::keyboardConfig(49, "HUNG0049");
  config.hangRequests = {std::string(simkbd::KeyboardConfig::kSerialNumberRequest)};
  std::unique_ptr<PluggedKeyboard> hung = plugOrFail(config);
  ASSERT_TRUE(hung);
  // The bound, and a margin for the sanitizers under load.
  const auto limit = USBDevice::kRequestTimeout + std::chrono::milliseconds(1000);
  auto since = [](std::chrono::steady_clock::time_point start) { return std::chrono::steady_clock::now() - start; };

  USBDevice device;
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(device.connect(hung->handle()));
  EXPECT_LT(since(start), limit);
  EXPECT_FALSE(device.isConnected());

  start = std::chrono::steady_clock::now();
  const std::vector<USBDeviceSighting> seen = USBDeviceSighting::scan(USBDeviceDB::QVUSBDevices);
  EXPECT_LT(since(start), limit);
  std::multiset<std::string> serials;
  std::size_t unread = 0;
  for (const USBDeviceSighting& sighting : seen) {
    if (sighting.stringsRead) {
      serials.insert(sighting.info.serialNumber);
    } else {
      ++unread;
      EXPECT_EQ(sighting.info.productId, 0x1350);
    }
  }
  EXPECT_EQ(unread, 1u);
  EXPECT_EQ(serials, (std::multiset<std::string>{"SIMKBD0001", "", "STALL0061", "BADCFG0088"}));

  // Each read asked for the serial number once, and nothing else.
  const nlohmann::json report = hung->report();
  EXPECT_EQ(report["requestCounts"]["GET_DESCRIPTOR"], 2);
  EXPECT_EQ(report["requests"].size(), 2u);
  EXPECT_EQ(report["requestsLeftPending"], 0);
}

// Two devices on two keyboards, each used by a thread of its own: either
// thread may be the one that handles libusb's events and so ends the other's
// transfers. Every request must come back with its own device's answer, and
// none may still be in flight when its call returns, which the address
// sanitizer watches.
TEST_F(USBDeviceKeyboardTest, DevicesUsedFromTwoThreadsAtOnceEachGetTheirOwnAnswers) {
  // Requests per call on each thread; a single one goes through controlTransfer.
  const std::pair<std::size_t, std::size_t> rows[] = {{2, 1}, {2, 2}};
  for (const auto& [firstBatch, secondBatch] : rows) {
    SCOPED_TRACE(testing::Message() << firstBatch << " and " << secondBatch << " requests per call");
    std::atomic<bool> stop{false};
    // Counts the answers, up to the first wrong one.
    auto run = [&stop](PluggedKeyboard* keyboard, std::size_t batchSize, std::size_t& answered, bool& wrong) {
      USBDevice device;
      wrong = !device.connect(keyboard->handle());
      while (!wrong && !stop) {
        std::vector<std::array<std::uint8_t, 18>> replies(batchSize);
        std::vector<USBDevice::Request> requests;
        for (auto& reply : replies) requests.push_back(deviceDescriptorRequest(reply));
        std::vector<USBDevice::Status> statuses(batchSize, 1);
        if (batchSize == 1) {
          statuses[0] = device.controlTransfer(requests[0]);
        } else {
          device.controlTransfers(requests, statuses);
        }
        for (std::size_t i = 0; i < batchSize && !wrong; ++i) {
          const unsigned productId = replies[i][10] | (replies[i][11] << 8);  // idProduct
          wrong = statuses[i] != USBDevice::kStatusSuccess || productId != device.deviceInfo().productId;
          answered += wrong ? 0 : 1;
        }
      }
    };
    std::size_t firstAnswered = 0, secondAnswered = 0;
    bool firstWrong = false, secondWrong = false;
    std::thread first(run, s_plain, firstBatch, std::ref(firstAnswered), std::ref(firstWrong));
    std::thread second(run, s_noSerial, secondBatch, std::ref(secondAnswered), std::ref(secondWrong));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    stop = true;
    first.join();
    second.join();
    EXPECT_FALSE(firstWrong) << "after " << firstAnswered << " answers";
    EXPECT_FALSE(secondWrong) << "after " << secondAnswered << " answers";
    EXPECT_GT(firstAnswered, 0u);
    EXPECT_GT(secondAnswered, 0u);
  }
}

TEST_F(USBDeviceKeyboardTest, ConfigurationDescriptorIsTakenAtWhatTheDeviceSent) {
  USBDevice device;
  std::uint32_t size = 99;
  EXPECT_EQ(device.getConfigurationDescriptor(size), nullptr);
  EXPECT_EQ(size, 0u);
  // The lying keyboard announces more than it sends, and an interface whose
  // length runs past the block: a walk must stop within what came back,
  // which the address sanitizer watches. The interfaces themselves are read
  // by the DFU device's tests.
  for (PluggedKeyboard* keyboard : {s_plain, s_badConfiguration}) {
    ASSERT_TRUE(device.connect(keyboard->handle()));
    const std::uint8_t* block = device.getConfigurationDescriptor(size);
    ASSERT_NE(block, nullptr);
    ASSERT_GE(size, 9u);
    const std::uint32_t announced = std::uint32_t(block[2] | (block[3] << 8));
    EXPECT_EQ(size < announced, keyboard == s_badConfiguration);
    EXPECT_FALSE(walk(block, size).empty());
  }
  device.disconnect();
  EXPECT_EQ(device.getConfigurationDescriptor(size), nullptr);
  EXPECT_EQ(size, 0u);
}

TEST_F(USBDeviceKeyboardTest, TransferToAKeyboardThatLeftFailsWithoutHanging) {
  std::unique_ptr<PluggedKeyboard> leaving = plugOrFail(TestSupport::keyboardConfig(49, "GONE0049"));
  ASSERT_TRUE(leaving);

  USBDevice device;
  ASSERT_TRUE(device.connect(leaving->handle()));
  ASSERT_TRUE(leaving->unplug());

  std::array<std::uint8_t, 6> reply{};
  USBDevice::Request request = getStatusRequest(reply);
  // A hang here would run into the test's time-out.
  EXPECT_NE(device.controlTransfer(request), USBDevice::kStatusSuccess);
  USBDevice::Request queued[] = {request, request};
  USBDevice::Status statuses[] = {0, 0};
  device.controlTransfers(queued, statuses);
  EXPECT_NE(statuses[0], USBDevice::kStatusSuccess);
  EXPECT_NE(statuses[1], USBDevice::kStatusSuccess);
  std::uint32_t size = 0;
  EXPECT_EQ(device.getConfigurationDescriptor(size), nullptr);
  EXPECT_EQ(size, 0u);
  device.disconnect();
}

}  // namespace
}  // namespace QV::QDV2
