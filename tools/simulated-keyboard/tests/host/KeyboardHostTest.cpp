// The host seen through the real libusb, in this process, under
// umockdev-wrapper.
#include "KeyboardHost.h"
#include "SysfsRecord.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/usb/ch9.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <libusb.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <thread>
#include <vector>

namespace simkbd {
namespace {

using namespace std::chrono_literals;

constexpr std::uint16_t kVendor = 0x17CC;
constexpr auto kDeadline = 10s;  // generous: bus changes take a few hundred ms
constexpr unsigned kTimeoutMs = 2000;

// DFU 1.1 class requests.
constexpr std::uint8_t DFU_DETACH = 0;
constexpr std::uint8_t DFU_GETSTATUS = 3;
constexpr std::uint8_t DFU_GETSTATE = 5;
constexpr std::uint8_t kRuntimeDfuInterface = 1;
// bmRequestType of class requests to an interface.
constexpr std::uint8_t kClassInterfaceOut = 0x21;
constexpr std::uint8_t kClassInterfaceIn = 0xA1;

class KeyboardHostTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    host = KeyboardHost::create(error);
    ASSERT_NE(host, nullptr) << error;
    ASSERT_EQ(libusb_init(&context), 0);
  }

  void TearDown() override {
    for (libusb_device_handle* handle : handles) libusb_close(handle);
    if (context != nullptr) libusb_exit(context);
    host.reset();
  }

  // The keyboard with this product id, opened once libusb lists it; null
  // after the deadline.
  libusb_device_handle* openKeyboard(std::uint16_t productId) {
    const auto deadline = std::chrono::steady_clock::now() + kDeadline;
    libusb_device_handle* handle = nullptr;
    while ((handle = libusb_open_device_with_vid_pid(context, kVendor, productId)) == nullptr &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(10ms);
    }
    if (handle != nullptr) handles.push_back(handle);
    return handle;
  }

  static std::string stringDescriptor(libusb_device_handle* handle, std::uint8_t index) {
    unsigned char text[256] = {};
    const int length = libusb_get_string_descriptor_ascii(handle, index, text, sizeof text);
    return length < 0 ? "error " + std::to_string(length) : std::string(reinterpret_cast<char*>(text), length);
  }

  static int getStatus(libusb_device_handle* handle, std::uint8_t (&status)[6]) {
    return libusb_control_transfer(handle, kClassInterfaceIn, DFU_GETSTATUS, 0, kRuntimeDfuInterface, status,
                                   sizeof status, kTimeoutMs);
  }
  static int detach(libusb_device_handle* handle) {
    return libusb_control_transfer(handle, kClassInterfaceOut, DFU_DETACH, 1000, kRuntimeDfuInterface, nullptr, 0,
                                   kTimeoutMs);
  }

  std::unique_ptr<KeyboardHost> host;
  libusb_context* context = nullptr;
  std::vector<libusb_device_handle*> handles;
};

TEST_F(KeyboardHostTest, PluggedKeyboardsAnswerControlTransfers) {
  KeyboardConfig stalling;
  stalling.stallRequests = {DFU_GETSTATE};
  const int first = host->plug(stalling);
  KeyboardConfig big;
  big.size = 88;
  // Line breaks that umockdev's record cannot hold as they are.
  big.serial = "SIMKBD\v00\u202888";
  ASSERT_GT(host->plug(big), 0);
  ASSERT_GT(first, 0);

  libusb_device_handle* handle = openKeyboard(0x1350);
  ASSERT_NE(handle, nullptr);
  libusb_device* device = libusb_get_device(handle);
  libusb_device_descriptor descriptor;
  ASSERT_EQ(libusb_get_device_descriptor(device, &descriptor), 0);
  EXPECT_EQ(descriptor.bcdDevice, 68);
  char node[32];
  std::snprintf(node, sizeof node, "/dev/bus/usb/%03u/%03u", libusb_get_bus_number(device),
                libusb_get_device_address(device));
  EXPECT_EQ(host->devnode(first), node);
  libusb_config_descriptor* config = nullptr;
  ASSERT_EQ(libusb_get_active_config_descriptor(device, &config), 0);
  EXPECT_EQ(config->bNumInterfaces, 2);
  libusb_free_config_descriptor(config);
  EXPECT_EQ(stringDescriptor(handle, 3), "SIMKBD0001");
  ASSERT_EQ(libusb_claim_interface(handle, kRuntimeDfuInterface), 0);
  std::uint8_t status[6] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  ASSERT_EQ(getStatus(handle, status), 6);
  EXPECT_EQ(status[4], appIDLE);
  // A stalled request is a pipe error, and the keyboard carries on.
  std::uint8_t state = 0;
  EXPECT_EQ(libusb_control_transfer(handle, kClassInterfaceIn, DFU_GETSTATE, 0, kRuntimeDfuInterface, &state, 1,
                                    kTimeoutMs),
            LIBUSB_ERROR_PIPE);
  EXPECT_EQ(getStatus(handle, status), 6);
  EXPECT_EQ(host->report(first)["requestCounts"]["GETSTATUS"], 2);

  libusb_device_handle* other = openKeyboard(0x1410);
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(stringDescriptor(other, 3), "SIMKBD\v00?88");
}

// Requests libusb never sends, straight on the node: the host refuses them
// rather than reading or writing past what the client gave.
TEST_F(KeyboardHostTest, MalformedUsbfsRequestsAreRefused) {
  const int fd = ::open(host->devnode(host->plug(KeyboardConfig{})).c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  std::uint8_t buffer[8 + 18] = {0x80, 6, 0, 1, 0, 0, 18, 0};  // GET_DESCRIPTOR of the device
  usbdevfs_urb urb{};
  const auto submit = [&](int length, void* data, unsigned char endpoint = 0) {
    urb = {};
    urb.type = USBDEVFS_URB_TYPE_CONTROL;
    urb.endpoint = endpoint;
    urb.buffer = data;
    urb.buffer_length = length;
    return ioctl(fd, USBDEVFS_SUBMITURB, &urb) == 0 ? 0 : errno;
  };
  EXPECT_EQ(submit(4, buffer), EINVAL);                 // shorter than a setup packet
  EXPECT_EQ(submit(8 + 17, buffer), EINVAL);            // wLength beyond the buffer
  EXPECT_EQ(submit(0x7FFFFFFF, buffer), EINVAL);        // no huge read of the client
  // More data than usbfs carries in one control transfer, whatever the
  // buffer holds; a page is still taken.
  std::vector<std::uint8_t> large(8 + 4097);
  std::copy_n(buffer, 8, large.begin());
  large[6] = 0x01;  // wLength 4097
  large[7] = 0x10;
  EXPECT_EQ(submit(int(large.size()), large.data()), EINVAL);
  EXPECT_EQ(submit(sizeof buffer, buffer, 1), EINVAL);  // not endpoint 0
  EXPECT_EQ(submit(sizeof buffer, nullptr), EFAULT);
  std::uint32_t interface = 7;
  EXPECT_EQ(ioctl(fd, USBDEVFS_CLAIMINTERFACE, &interface), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(ioctl(fd, USBDEVFS_CLAIMINTERFACE, nullptr), -1);

  ASSERT_EQ(submit(sizeof buffer, buffer), 0);
  void* reaped = nullptr;
  ASSERT_EQ(ioctl(fd, USBDEVFS_REAPURBNDELAY, &reaped), 0);
  EXPECT_EQ(reaped, &urb);
  EXPECT_EQ(urb.actual_length, 18);
  EXPECT_EQ(buffer[8], 18);
  EXPECT_EQ(ioctl(fd, USBDEVFS_REAPURBNDELAY, &reaped), -1);
  EXPECT_EQ(errno, EAGAIN);
  large[6] = 0x00;  // wLength 4096
  ASSERT_EQ(submit(8 + 4096, large.data()), 0);
  ASSERT_EQ(ioctl(fd, USBDEVFS_REAPURBNDELAY, &reaped), 0);
  EXPECT_EQ(urb.actual_length, 18);
  close(fd);
}

// The kernel releases a program's claims when it closes the node, however it
// ends: the next program must be able to claim the interface.
TEST_F(KeyboardHostTest, ClaimsEndWithTheNodeThatHeldThem) {
  const std::string node = host->devnode(host->plug(KeyboardConfig{}));
  const int first = ::open(node.c_str(), O_RDWR);
  const int second = ::open(node.c_str(), O_RDWR);
  ASSERT_GE(first, 0);
  ASSERT_GE(second, 0);
  std::uint32_t interface = kRuntimeDfuInterface;
  ASSERT_EQ(ioctl(first, USBDEVFS_CLAIMINTERFACE, &interface), 0);
  EXPECT_EQ(ioctl(second, USBDEVFS_CLAIMINTERFACE, &interface), -1);
  EXPECT_EQ(errno, EBUSY);
  close(first);
  // umockdev learns of the closed node a moment later.
  const auto deadline = std::chrono::steady_clock::now() + kDeadline;
  int claimed = -1;
  while ((claimed = ioctl(second, USBDEVFS_CLAIMINTERFACE, &interface)) != 0 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_EQ(claimed, 0);
  close(second);
}

// Threads that open a keyboard's node, ask it and close it, all at once: the
// record umockdev keeps of each open node must survive the others' opening and
// closing, or the request goes to the plain file underneath and fails.
TEST_F(KeyboardHostTest, NodesOpenedAndClosedOnSeveralThreadsAtOnceEachReachTheirKeyboard) {
  const std::string nodes[] = {host->devnode(host->plug(KeyboardConfig{})), host->devnode(host->plug(KeyboardConfig{}))};
  std::atomic<bool> stop{false};
  std::atomic<int> rounds{0}, failures{0};
  auto run = [&](const std::string& node) {
    while (!stop) {
      const int fd = ::open(node.c_str(), O_RDWR | O_CLOEXEC);
      failures += fd < 0 || ioctl(fd, USBDEVFS_GET_SPEED) != USB_SPEED_FULL;
      if (fd >= 0) close(fd);
      ++rounds;
    }
  };
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) threads.emplace_back(run, nodes[i % 2]);
  std::this_thread::sleep_for(1500ms);
  stop = true;
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, 0) << "in " << rounds << " rounds";
}

TEST_F(KeyboardHostTest, DetachReenumeratesInUpdateModeWithTheSameSerial) {
  const int id = host->plug(KeyboardConfig{});
  libusb_device_handle* handle = openKeyboard(0x1350);
  ASSERT_NE(handle, nullptr);
  const std::string oldNode = host->devnode(id);
  ASSERT_EQ(libusb_claim_interface(handle, kRuntimeDfuInterface), 0);
  ASSERT_EQ(detach(handle), 0);

  // Back after the re-enumeration delay without any request to drive it, at
  // a new address.
  libusb_device_handle* update = openKeyboard(0x1352);
  ASSERT_NE(update, nullptr);
  EXPECT_EQ(stringDescriptor(update, 3), "SIMKBD0001");
  // The host notes the arrival just after the test bed shows the device, so
  // a client may see it a moment before the host says so.
  const auto deadline = std::chrono::steady_clock::now() + kDeadline;
  while (!host->onBus(id) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_TRUE(host->onBus(id));
  EXPECT_NE(host->devnode(id), oldNode);
  // The handle on the departed device fails at once rather than hanging.
  std::uint8_t status[6];
  const int stale = getStatus(handle, status);
  EXPECT_TRUE(stale == LIBUSB_ERROR_NO_DEVICE || stale == LIBUSB_ERROR_IO) << libusb_error_name(stale);
}

// A keyboard started unplugged is not listed until it is plugged in; then a
// libusb context made before sees it arrive through hot-plug, as it sees a
// real keyboard plugged in.
TEST_F(KeyboardHostTest, AKeyboardStartedUnpluggedArrivesWhenPluggedIn) {
  KeyboardConfig config;
  config.startUnplugged = true;
  const int id = host->plug(config);
  ASSERT_GT(id, 0);
  EXPECT_FALSE(host->onBus(id));
  EXPECT_EQ(host->devnode(id), "");
  EXPECT_EQ(libusb_open_device_with_vid_pid(context, kVendor, 0x1350), nullptr);

  int arrivals = 0;
  libusb_hotplug_callback_handle callback;
  ASSERT_EQ(libusb_hotplug_register_callback(
                context, LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED, LIBUSB_HOTPLUG_NO_FLAGS, kVendor, 0x1350,
                LIBUSB_HOTPLUG_MATCH_ANY,
                [](libusb_context*, libusb_device*, libusb_hotplug_event, void* count) {
                  ++*static_cast<int*>(count);
                  return 0;
                },
                &arrivals, &callback),
            LIBUSB_SUCCESS);
  ASSERT_TRUE(host->plugIn(id));
  EXPECT_TRUE(host->onBus(id));
  EXPECT_FALSE(host->plugIn(id));  // on the bus already
  const auto deadline = std::chrono::steady_clock::now() + kDeadline;
  timeval tick{0, 50'000};
  while (arrivals == 0 && std::chrono::steady_clock::now() < deadline) {
    libusb_handle_events_timeout_completed(context, &tick, nullptr);
  }
  libusb_hotplug_deregister_callback(context, callback);
  EXPECT_EQ(arrivals, 1);
  libusb_device_handle* handle = openKeyboard(0x1350);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(stringDescriptor(handle, 3), "SIMKBD0001");

  host->unplug(id);
  EXPECT_FALSE(host->plugIn(id));  // taken off for good
}

TEST_F(KeyboardHostTest, UnplugEndsPendingTransfersAndKeepsTheReport) {
  const int id = host->plug(KeyboardConfig{});
  libusb_device_handle* handle = openKeyboard(0x1350);
  ASSERT_NE(handle, nullptr);
  ASSERT_EQ(libusb_claim_interface(handle, 0), 0);

  // An interrupt read on the key-report endpoint stays pending: the keyboard
  // never reports keys. Unplugging must end it long before its timeout.
  std::promise<int> done;
  std::thread reader([&] {
    unsigned char keys[8];
    int transferred = 0;
    done.set_value(libusb_interrupt_transfer(handle, 0x81, keys, sizeof keys, &transferred, 30'000));
  });
  std::future<int> result = done.get_future();
  EXPECT_EQ(result.wait_for(200ms), std::future_status::timeout);
  host->unplug(id);
  const bool finished = result.wait_for(kDeadline) == std::future_status::ready;
  reader.join();  // bounded by the transfer's own timeout
  ASSERT_TRUE(finished);
  EXPECT_EQ(result.get(), LIBUSB_ERROR_NO_DEVICE);

  EXPECT_FALSE(host->onBus(id));
  EXPECT_EQ(host->devnode(id), "");
  EXPECT_EQ(host->report(id)["serial"], "SIMKBD0001");
  std::uint8_t status[6];
  EXPECT_EQ(getStatus(handle, status), LIBUSB_ERROR_NO_DEVICE);
}

// The kernel's own read of a serial number the keyboard leaves unanswered
// timed out at enumeration: it publishes none, though the device names one.
TEST(SysfsRecord, AnUnansweredSerialNumberIsNotPublished) {
  KeyboardConfig config;
  config.hangRequests = {"SERIAL_NUMBER"};
  std::string error;
  const std::string record = SysfsRecord::build(SimulatedKeyboard(config), 1, 2, 1, error)->text();
  EXPECT_NE(record.find("A: product="), std::string::npos);
  EXPECT_EQ(record.find("A: serial="), std::string::npos);
}

}  // namespace
}  // namespace simkbd
