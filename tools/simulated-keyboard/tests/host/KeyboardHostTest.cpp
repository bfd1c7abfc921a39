// The host seen through the real libusb, in this process, under
// umockdev-wrapper.
#include "KeyboardHost.h"

#include <gtest/gtest.h>
#include <libusb.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <future>
#include <mutex>
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
constexpr std::uint8_t kRuntimeDfuInterface = 1;
// bmRequestType of class requests to an interface.
constexpr std::uint8_t kClassInterfaceOut = 0x21;
constexpr std::uint8_t kClassInterfaceIn = 0xA1;

struct DeviceEvent {
  bool arrived;
  std::uint16_t productId;
  std::uint8_t address;
};

class KeyboardHostTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    host = KeyboardHost::create(error);
    ASSERT_NE(host, nullptr) << error;
    ASSERT_EQ(libusb_init(&context), 0);
  }

  void TearDown() override {
    stopEvents();
    for (libusb_device_handle* handle : handles) libusb_close(handle);
    if (context != nullptr) libusb_exit(context);
    host.reset();
  }

  // The keyboard with this product id, once libusb lists it; null after the
  // deadline. The caller owns a reference.
  libusb_device* waitForDevice(std::uint16_t productId) {
    const auto deadline = std::chrono::steady_clock::now() + kDeadline;
    do {
      libusb_device** list = nullptr;
      const ssize_t count = libusb_get_device_list(context, &list);
      libusb_device* found = nullptr;
      for (ssize_t i = 0; i < count && found == nullptr; ++i) {
        libusb_device_descriptor descriptor;
        if (libusb_get_device_descriptor(list[i], &descriptor) == 0 && descriptor.idVendor == kVendor &&
            descriptor.idProduct == productId) {
          found = libusb_ref_device(list[i]);
        }
      }
      libusb_free_device_list(list, 1);
      if (found != nullptr) return found;
      std::this_thread::sleep_for(10ms);
    } while (std::chrono::steady_clock::now() < deadline);
    return nullptr;
  }

  libusb_device_handle* open(libusb_device* device) {
    libusb_device_handle* handle = nullptr;
    EXPECT_EQ(libusb_open(device, &handle), 0);
    if (handle != nullptr) handles.push_back(handle);
    return handle;
  }

  libusb_device_handle* openKeyboard(std::uint16_t productId) {
    libusb_device* device = waitForDevice(productId);
    if (device == nullptr) return nullptr;
    libusb_device_handle* handle = open(device);
    libusb_unref_device(device);
    return handle;
  }

  static std::string stringDescriptor(libusb_device_handle* handle, std::uint8_t index) {
    unsigned char text[256] = {};
    const int length = libusb_get_string_descriptor_ascii(handle, index, text, sizeof text);
    return length < 0 ? "error " + std::to_string(length) : std::string(reinterpret_cast<char*>(text), length);
  }

  static int getStatus(libusb_device_handle* handle, std::uint8_t (&status)[6]) {
    return libusb_control_transfer(
        handle, kClassInterfaceIn, DFU_GETSTATUS, 0,
        kRuntimeDfuInterface, status, sizeof status, kTimeoutMs);
  }

  // Hot-plug notices, handled on an event thread as an application does.
  void watchHotplug() {
    ASSERT_EQ(libusb_hotplug_register_callback(
                  context, LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED | LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT,
                  LIBUSB_HOTPLUG_NO_FLAGS, kVendor, LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY,
                  &KeyboardHostTest::onHotplug, this, &hotplugHandle),
              LIBUSB_SUCCESS);
    eventThread = std::thread([this] {
      while (!stopping) {
        timeval tv{0, 50'000};
        libusb_handle_events_timeout_completed(context, &tv, nullptr);
      }
    });
  }

  void stopEvents() {
    if (!eventThread.joinable()) return;
    stopping = true;
    libusb_hotplug_deregister_callback(context, hotplugHandle);  // also wakes the event thread
    eventThread.join();
  }

  static int onHotplug(libusb_context*, libusb_device* device, libusb_hotplug_event event, void* data) {
    auto* self = static_cast<KeyboardHostTest*>(data);
    libusb_device_descriptor descriptor;
    libusb_get_device_descriptor(device, &descriptor);
    std::lock_guard guard(self->eventsLock);
    self->events.push_back({event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED, descriptor.idProduct,
                            libusb_get_device_address(device)});
    self->eventsChanged.notify_all();
    return 0;
  }

  // Waits until the hot-plug notices satisfy `enough`; returns what came.
  template <typename Predicate>
  std::vector<DeviceEvent> waitForEvents(Predicate enough) {
    std::unique_lock guard(eventsLock);
    eventsChanged.wait_for(guard, kDeadline, [&] { return enough(events); });
    return events;
  }

  std::unique_ptr<KeyboardHost> host;
  libusb_context* context = nullptr;
  std::vector<libusb_device_handle*> handles;

  libusb_hotplug_callback_handle hotplugHandle = 0;
  std::thread eventThread;
  std::atomic<bool> stopping{false};
  std::mutex eventsLock;
  std::condition_variable eventsChanged;
  std::vector<DeviceEvent> events;
};

TEST_F(KeyboardHostTest, PluggedKeyboardsAreListedWithTheirDescriptors) {
  const int first = host->plug(KeyboardConfig{});
  KeyboardConfig big;
  big.size = 88;
  big.serial = "SIMKBD0088";
  const int second = host->plug(big);
  ASSERT_GT(first, 0);
  ASSERT_GT(second, 0);
  EXPECT_TRUE(host->onBus(first));

  libusb_device* device = waitForDevice(0x1350);
  ASSERT_NE(device, nullptr);
  libusb_device_descriptor descriptor;
  ASSERT_EQ(libusb_get_device_descriptor(device, &descriptor), 0);
  EXPECT_EQ(descriptor.bcdDevice, 68);
  EXPECT_EQ(descriptor.bNumConfigurations, 1);
  EXPECT_NE(descriptor.iSerialNumber, 0);
  char node[32];
  std::snprintf(node, sizeof node, "/dev/bus/usb/%03u/%03u", libusb_get_bus_number(device),
                libusb_get_device_address(device));
  EXPECT_EQ(host->devnode(first), node);

  // Normal mode: a HID interface and the DFU run-time interface.
  libusb_config_descriptor* config = nullptr;
  ASSERT_EQ(libusb_get_active_config_descriptor(device, &config), 0);
  ASSERT_EQ(config->bNumInterfaces, 2);
  const libusb_interface_descriptor& dfu = config->interface[1].altsetting[0];
  EXPECT_EQ(dfu.bInterfaceClass, 0xFE);
  EXPECT_EQ(dfu.bInterfaceSubClass, 1);
  EXPECT_EQ(dfu.bInterfaceProtocol, 1);
  libusb_free_config_descriptor(config);

  libusb_device* other = waitForDevice(0x1410);
  ASSERT_NE(other, nullptr);
  EXPECT_NE(libusb_get_device_address(other), libusb_get_device_address(device));
  libusb_device_handle* handle = open(other);
  ASSERT_NE(handle, nullptr);
  libusb_get_device_descriptor(other, &descriptor);
  EXPECT_EQ(stringDescriptor(handle, descriptor.iSerialNumber), "SIMKBD0088");
  libusb_unref_device(other);
  libusb_unref_device(device);
}

TEST_F(KeyboardHostTest, ControlTransfersReachTheKeyboard) {
  const int id = host->plug(KeyboardConfig{});
  libusb_device_handle* handle = openKeyboard(0x1350);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(stringDescriptor(handle, 2), "VANTA Keyboard 49");
  EXPECT_EQ(stringDescriptor(handle, 3), "SIMKBD0001");

  ASSERT_EQ(libusb_claim_interface(handle, kRuntimeDfuInterface), 0);
  std::uint8_t status[6] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  ASSERT_EQ(getStatus(handle, status), 6);
  EXPECT_EQ(status[0], OK);
  EXPECT_EQ(status[4], appIDLE);
  EXPECT_EQ(host->report(id)["requestCounts"]["GETSTATUS"], 1);
}

TEST_F(KeyboardHostTest, StalledRequestIsAPipeErrorAndTheKeyboardCarriesOn) {
  KeyboardConfig config;
  config.stallRequests = {DFU_GETSTATUS};
  host->plug(config);
  libusb_device_handle* handle = openKeyboard(0x1350);
  ASSERT_NE(handle, nullptr);
  ASSERT_EQ(libusb_claim_interface(handle, kRuntimeDfuInterface), 0);
  std::uint8_t status[6];
  EXPECT_EQ(getStatus(handle, status), LIBUSB_ERROR_PIPE);
  EXPECT_EQ(stringDescriptor(handle, 3), "SIMKBD0001");
}

TEST_F(KeyboardHostTest, DetachReenumeratesInUpdateModeWithTheSameSerial) {
  const int id = host->plug(KeyboardConfig{});
  libusb_device_handle* handle = openKeyboard(0x1350);
  ASSERT_NE(handle, nullptr);
  watchHotplug();  // once libusb knows the keyboard, so that only the changes come
  const std::uint8_t oldAddress = libusb_get_device_address(libusb_get_device(handle));
  const std::string oldNode = host->devnode(id);
  ASSERT_EQ(libusb_claim_interface(handle, kRuntimeDfuInterface), 0);
  ASSERT_EQ(libusb_control_transfer(handle, kClassInterfaceOut, DFU_DETACH,
                                    1000, kRuntimeDfuInterface, nullptr, 0, kTimeoutMs),
            0);

  // Off the bus, then back after the re-enumeration delay without any
  // request to drive it. (libusb 1.0.26 may first hand the new callback the
  // keyboard's own arrival, still queued from before it was registered.)
  const std::vector<DeviceEvent> seen = waitForEvents([](const std::vector<DeviceEvent>& events) {
    return std::any_of(events.begin(), events.end(), [](const DeviceEvent& e) { return e.arrived && e.productId == 0x1352; });
  });
  auto left = std::find_if(seen.begin(), seen.end(), [](const DeviceEvent& e) { return !e.arrived; });
  auto back = std::find_if(seen.begin(), seen.end(), [](const DeviceEvent& e) { return e.arrived && e.productId == 0x1352; });
  ASSERT_NE(left, seen.end());
  ASSERT_NE(back, seen.end());
  EXPECT_LT(left - seen.begin(), back - seen.begin());
  EXPECT_EQ(left->productId, 0x1350);
  EXPECT_EQ(left->address, oldAddress);
  EXPECT_NE(back->address, oldAddress);
  EXPECT_TRUE(host->onBus(id));
  EXPECT_NE(host->devnode(id), oldNode);

  // The handle on the departed device fails at once rather than hanging.
  std::uint8_t status[6];
  const int stale = getStatus(handle, status);
  EXPECT_TRUE(stale == LIBUSB_ERROR_NO_DEVICE || stale == LIBUSB_ERROR_IO) << libusb_error_name(stale);

  libusb_device_handle* update = openKeyboard(0x1352);
  ASSERT_NE(update, nullptr);
  EXPECT_EQ(stringDescriptor(update, 3), "SIMKBD0001");
  EXPECT_EQ(stringDescriptor(update, 2), "VANTA Keyboard 49 DFU");
  EXPECT_EQ(host->report(id)["mode"], "update");
}

TEST_F(KeyboardHostTest, ResetAfterDetachReenumeratesAKeyboardThatWillNotDetach) {
  KeyboardConfig config;
  config.willDetach = false;
  host->plug(config);
  libusb_device_handle* handle = openKeyboard(0x1350);
  ASSERT_NE(handle, nullptr);
  ASSERT_EQ(libusb_claim_interface(handle, kRuntimeDfuInterface), 0);
  ASSERT_EQ(libusb_control_transfer(handle, kClassInterfaceOut, DFU_DETACH,
                                    1000, kRuntimeDfuInterface, nullptr, 0, kTimeoutMs),
            0);
  // The device leaves during the reset, so libusb cannot claim the interface
  // again and says the device is gone.
  EXPECT_EQ(libusb_reset_device(handle), LIBUSB_ERROR_NOT_FOUND);
  libusb_device* update = waitForDevice(0x1352);
  ASSERT_NE(update, nullptr);
  libusb_unref_device(update);
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

}  // namespace
}  // namespace simkbd
