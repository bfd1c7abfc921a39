// Discovery, the device table and the HID reader over the real libusb,
// against simulated keyboards served through umockdev. The suites run in the
// order written: first an empty bus, then three keyboards plugged once for
// all the scans, then a keyboard that two threads scan for at once, then a
// keyboard that comes and goes under an armed factory.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "QV/QDV2/HIDDevice.h"
#include "QV/QDV2/USBDevice.h"
#include "QV/QDV2/USBDeviceFactory.h"
#include "QV/QDV2/USBDeviceFilter.h"
#include "SimulatedKeyboardFixture.h"
#include "USB/Linux/DeviceTable.h"

namespace QV::QDV2 {
namespace {

using LINUX::DeviceTable;
using TestSupport::PluggedKeyboard;
using TestSupport::plugOrFail;

constexpr std::uint16_t kVendorId = 0x17CC;

struct Found {
  USBDeviceOSHandle handle = 0;
  USBDeviceFilter filter;
  USBDeviceInfo info;
};

USBDeviceFilter filterFor(const char* className, std::uint16_t vendorId, std::uint16_t productId,
                          eUSBDeviceType type = eUSB) {
  USBDeviceFilter filter;
  filter.type = type;
  filter.guid = "usb-guid-magic";
  filter.className = className;
  filter.ids = USBDeviceFilter::makeIds(vendorId, productId);
  return filter;
}

// A found callback that records each report with the device's strings, read
// while the handle is valid.
USBDeviceFactory::Callback recordInto(std::vector<Found>& found) {
  return [&found](const USBDeviceOSHandle& handle, const USBDeviceFilter& filter) {
    Found entry{handle, filter, {}};
    USBDevice::getDeviceInfoForOSHandle(handle, entry.info, true);
    found.push_back(entry);
  };
}

// One one-shot scan, as every user of discovery runs it.
std::vector<Found> scan(const USBDeviceFilter& filter, bool* result = nullptr) {
  std::vector<Found> found;
  USBDeviceFactory factory;
  factory.setCallbacks(recordInto(found), {});
  const bool initialised = factory.initWithDeviceFilter(filter, false);
  factory.deInit();
  if (result != nullptr) {
    *result = initialised;
  }
  return found;
}

std::multiset<std::string> serialsOf(const std::vector<Found>& found) {
  std::multiset<std::string> serials;
  for (const Found& entry : found) {
    serials.insert(entry.info.serialNumber);
  }
  return serials;
}

class USBDeviceFactoryEmptyBusTest : public TestSupport::SimulatedKeyboardTest {};

TEST_F(USBDeviceFactoryEmptyBusTest, ScansSucceedAndReportNothing) {
  for (const char* className : {"IOUSBDevice", "IOHIDDevice", "de_tolva_driver_QVUSBAudioDevice"}) {
    bool result = false;
    EXPECT_TRUE(scan(filterFor(className, 0, 0), &result).empty()) << className;
    EXPECT_TRUE(result) << className;
  }
}

class USBDeviceFactoryKeyboardTest : public TestSupport::SimulatedKeyboardTest {
 protected:
  static void SetUpTestSuite() {
    SimulatedKeyboardTest::SetUpTestSuite();
    plugForSuite(TestSupport::keyboardConfig(49, "SCAN0049"));
    plugForSuite(TestSupport::keyboardConfig(25, "SCAN0025", true));
    s_keyboard61 = plugForSuite(TestSupport::keyboardConfig(61, "SCAN0061"));
  }

  static inline PluggedKeyboard* s_keyboard61 = nullptr;
};

TEST_F(USBDeviceFactoryKeyboardTest, ScansSelectByVendorAndProduct) {
  const std::multiset<std::string> all{"SCAN0025", "SCAN0049", "SCAN0061"};
  // The fixture holds one table entry per keyboard; scans take and give back
  // references of their own.
  const std::size_t entries = DeviceTable::instance().size();

  // Ids 0: every device, each once, with the filter handed back as given.
  const std::vector<Found> every = scan(filterFor("IOUSBDevice", 0, 0, eDeviceInterface));
  EXPECT_EQ(serialsOf(every), all);
  for (const Found& entry : every) {
    EXPECT_NE(entry.handle, 0u);
    EXPECT_EQ(entry.filter.type, eDeviceInterface);
    EXPECT_EQ(entry.filter.guid, "usb-guid-magic");
    EXPECT_EQ(entry.filter.ids, 0u);
  }

  EXPECT_EQ(serialsOf(scan(filterFor("IOUSBDevice", kVendorId, 0))), all);
  EXPECT_TRUE(scan(filterFor("IOUSBDevice", 0x1234, 0)).empty());
  EXPECT_EQ(serialsOf(scan(filterFor("IOUSBDevice", kVendorId, 0x1350))),
            std::multiset<std::string>{"SCAN0049"});
  // The update-mode product id, with any vendor.
  EXPECT_EQ(serialsOf(scan(filterFor("IOUSBDevice", 0, 0x1342))),
            std::multiset<std::string>{"SCAN0025"});
  EXPECT_TRUE(scan(filterFor("IOUSBDevice", kVendorId, 0x1340)).empty());
  EXPECT_EQ(DeviceTable::instance().size(), entries);
}

TEST_F(USBDeviceFactoryKeyboardTest, FactoryScansAgain) {
  std::vector<Found> found;
  USBDeviceFactory factory;
  factory.setCallbacks(recordInto(found), {});

  // An empty class name is refused before anything happens.
  EXPECT_FALSE(factory.initWithDeviceFilter(filterFor("", 0, 0), false));
  EXPECT_FALSE(factory.isInitialised());
  EXPECT_TRUE(found.empty());

  ASSERT_TRUE(factory.initWithDeviceFilter(filterFor("IOUSBDevice", kVendorId, 0x1360), true));
  EXPECT_TRUE(factory.isInitialised());
  EXPECT_EQ(found.size(), 1u);

  // The second scan tears the first down before it arms.
  ASSERT_TRUE(factory.initWithDeviceFilter(filterFor("IOUSBDevice", kVendorId, 0x1350), false));
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].info.serialNumber, "SCAN0061");
  EXPECT_EQ(found[1].info.serialNumber, "SCAN0049");
  factory.deInit();
  factory.deInit();
  EXPECT_FALSE(factory.isInitialised());
}

TEST_F(USBDeviceFactoryKeyboardTest, HIDClassFindsKeyboardsInNormalModeOnly) {
  // The filter's type is rewritten to HID whatever it was.
  const std::vector<Found> hid = scan(filterFor("IOHIDDevice", 0, 0, eUSB));
  EXPECT_EQ(serialsOf(hid), (std::multiset<std::string>{"SCAN0049", "SCAN0061"}));
  for (const Found& entry : hid) {
    EXPECT_EQ(entry.filter.type, eHID);
  }
  EXPECT_EQ(serialsOf(scan(filterFor("IOHIDDevice", kVendorId, 0x1360, eHID))),
            std::multiset<std::string>{"SCAN0061"});
  // The keyboard in update mode offers no HID interface.
  EXPECT_TRUE(scan(filterFor("IOHIDDevice", kVendorId, 0x1342, eHID)).empty());

  // Classes that no USB device has on Linux.
  for (const char* className : {"de_tolva_driver_QVUSBAudioDevice", "IOFireWireDevice"}) {
    bool result = false;
    EXPECT_TRUE(scan(filterFor(className, 0, 0), &result).empty()) << className;
    EXPECT_TRUE(result) << className;
    EXPECT_TRUE(scan(filterFor(className, kVendorId, 0x1350), &result).empty()) << className;
  }
}

TEST_F(USBDeviceFactoryKeyboardTest, ReaderIsChosenByFilterType) {
  const USBDeviceOSHandle handle = s_keyboard61->handle();
  auto read = [handle](eUSBDeviceType type, bool withStrings, USBDeviceInfo& info) {
    return USBDeviceFactory::getDeviceInfoForOSHandleWithFilter(
        handle, filterFor("IOUSBDevice", 0, 0, type), info, withStrings);
  };
  for (eUSBDeviceType type : {eUSB, eDeviceInterface}) {
    USBDeviceInfo info;
    ASSERT_TRUE(read(type, false, info));
    EXPECT_EQ(info.productId, 0x1360);
    EXPECT_TRUE(info.serialNumber.empty());
    ASSERT_TRUE(read(type, true, info));
    EXPECT_EQ(info.serialNumber, "SCAN0061");
  }
  USBDeviceInfo info;
  EXPECT_FALSE(read(eKernelDriver, true, info));
  EXPECT_FALSE(read(eUSBDeviceType(9), true, info));

  // The HID reader reads the strings whatever the flag, from the kernel's
  // record: the keyboard is sent nothing.
  HIDDevice::forgetDevice(handle);
  auto descriptorReads = [] { return s_keyboard61->report()["requestCounts"]["GET_DESCRIPTOR"].get<int>(); };
  const int before = descriptorReads();
  USBDeviceInfo hid;
  ASSERT_TRUE(filterFor("IOHIDDevice", 0, 0, eHID).getDeviceInfoForOSHandle(handle, hid, false));
  EXPECT_EQ(hid.vendorId, kVendorId);
  EXPECT_EQ(hid.productId, 0x1360);
  EXPECT_EQ(hid.version, 68);
  EXPECT_EQ(hid.manufacturer, "ORVEL TARSIN (simulated)");
  EXPECT_EQ(hid.product, "VANTA Keyboard 61");
  EXPECT_EQ(hid.serialNumber, "SCAN0061");
  ASSERT_TRUE(read(eHID, true, hid));
  EXPECT_EQ(descriptorReads(), before);
  HIDDevice::forgetDevice(handle);
}

class USBDeviceFactoryThreadsTest : public TestSupport::SimulatedKeyboardTest {};

// Two threads scan the bus again and again. The first connects to the
// keyboard it finds and asks it for its device descriptor; the second does
// the same with a keyboard of its own, or scans for the keyboard in update
// mode and finds none. No test object holds the keyboards, so the table is
// empty at times and a scan may then start on a new libusb context: the one
// the other thread is still using must not be ended under it, which the
// address sanitizer watches. Each thread opens and closes its keyboard while
// the other's requests are in flight, and every request must be answered by
// its own keyboard.
TEST_F(USBDeviceFactoryThreadsTest, ScansOnTwoThreadsNeverEndTheContextUnderEachOther) {
  simkbd::KeyboardHost* host = TestSupport::keyboardHost();
  ASSERT_NE(host, nullptr);
  const int ids[] = {host->plug(TestSupport::keyboardConfig(49, "AAA")),
                     host->plug(TestSupport::keyboardConfig(61, "BBB"))};
  ASSERT_GT(ids[0], 0);
  ASSERT_GT(ids[1], 0);
  ASSERT_EQ(DeviceTable::instance().size(), 0u);
  // The second thread's product id: a keyboard in update mode, which is not
  // on the bus, or the second keyboard.
  for (const std::uint16_t secondProductId : {0x1352, 0x1360}) {
    SCOPED_TRACE(testing::Message() << "the second thread looks for " << std::hex << secondProductId);
    std::atomic<bool> stop{false};
    // Answers by the keyboard scanned for, and requests that got none.
    auto run = [&stop](std::uint16_t productId, int& answered, int& failed) {
      USBDeviceFactory factory;
      factory.setCallbacks(
          [&, productId](const USBDeviceOSHandle& handle, const USBDeviceFilter&) {
            std::array<std::uint8_t, 18> descriptor{};
            USBDevice::Request request = TestSupport::deviceDescriptorRequest(descriptor);
            USBDevice device;
            const bool ownAnswer = device.connect(handle) &&
                                   device.controlTransfer(request) == USBDevice::kStatusSuccess &&
                                   (descriptor[10] | (descriptor[11] << 8)) == productId;  // idProduct
            ++(ownAnswer ? answered : failed);
          },
          {});
      while (!stop) {
        factory.initWithDeviceFilter(filterFor("IOUSBDevice", kVendorId, productId), false);
      }
    };
    int firstAnswered = 0, firstFailed = 0, secondAnswered = 0, secondFailed = 0;
    std::thread first(run, 0x1350, std::ref(firstAnswered), std::ref(firstFailed));
    std::thread second(run, secondProductId, std::ref(secondAnswered), std::ref(secondFailed));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    stop = true;
    first.join();
    second.join();
    EXPECT_GT(firstAnswered, 0);
    EXPECT_EQ(firstFailed, 0);
    EXPECT_EQ(secondAnswered > 0, secondProductId == 0x1360);
    EXPECT_EQ(secondFailed, 0);
    // Every use ended with its scan: nothing keeps the next scan from
    // starting on a new context.
    EXPECT_EQ(DeviceTable::instance().contextUses(), 0u);
    EXPECT_EQ(DeviceTable::instance().size(), 0u);
  }
  for (const int id : ids) host->unplug(id);
}

class USBDeviceFactoryHotplugTest : public TestSupport::SimulatedKeyboardTest {};

TEST_F(USBDeviceFactoryHotplugTest, ArmedFactoryReportsArrivalAndDeparture) {
  std::vector<Found> found;
  std::vector<USBDeviceOSHandle> removed;
  USBDeviceFactory factory;
  factory.setCallbacks(recordInto(found),
                       [&removed](const USBDeviceOSHandle& handle, const USBDeviceFilter&) {
                         removed.push_back(handle);
                       });
  ASSERT_TRUE(factory.initWithDeviceFilter(filterFor("IOUSBDevice", kVendorId, 0x1410), true));
  factory.handleEvents();
  EXPECT_TRUE(found.empty());

  std::unique_ptr<PluggedKeyboard> keyboard = plugOrFail(TestSupport::keyboardConfig(88, "HOTPLUG0088"));
  ASSERT_TRUE(keyboard);
  // A keyboard of another product comes and goes unreported.
  std::unique_ptr<PluggedKeyboard> other = plugOrFail(TestSupport::keyboardConfig(49, "HOTPLUG0049"));
  ASSERT_TRUE(other);
  const USBDeviceOSHandle otherHandle = other->handle();
  other.reset();

  ASSERT_TRUE(TestSupport::waitUntil([&] {
    factory.handleEvents();
    return !found.empty();
  })) << "no arrival reported";
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].info.serialNumber, "HOTPLUG0088");
  EXPECT_EQ(found[0].handle, keyboard->handle());
  EXPECT_TRUE(removed.empty());

  ASSERT_TRUE(keyboard->unplug());
  ASSERT_TRUE(TestSupport::waitUntil([&] {
    factory.handleEvents();
    return !removed.empty();
  })) << "no departure reported";
  EXPECT_EQ(removed, std::vector<USBDeviceOSHandle>{found[0].handle});
  EXPECT_EQ(found.size(), 1u);
  // With the factory's reference gone, nobody holds the departed keyboards:
  // their entries are freed.
  EXPECT_EQ(DeviceTable::instance().device(otherHandle), nullptr);
  EXPECT_EQ(DeviceTable::instance().device(found[0].handle), nullptr);

  // Disarmed, nothing more is delivered.
  factory.deInit();
  factory.handleEvents();
  EXPECT_EQ(found.size(), 1u);
  EXPECT_EQ(removed.size(), 1u);
}

}  // namespace
}  // namespace QV::QDV2
