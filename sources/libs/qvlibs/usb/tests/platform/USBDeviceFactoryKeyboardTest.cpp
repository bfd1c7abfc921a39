// Discovery, the device table and the HID reader over the real libusb,
// against simulated keyboards served through umockdev. The suites run in the
// order written: first an empty bus, then three keyboards plugged once for
// all the scans, then a keyboard that comes and goes under an armed factory.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
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
    simkbd::KeyboardConfig normal49;
    normal49.serial = "SCAN0049";
    s_keyboard49 = plugForSuite(normal49);

    simkbd::KeyboardConfig update25;
    update25.size = 25;
    update25.serial = "SCAN0025";
    update25.startInUpdateMode = true;
    s_keyboard25 = plugForSuite(update25);

    simkbd::KeyboardConfig normal61;
    normal61.size = 61;
    normal61.serial = "SCAN0061";
    s_keyboard61 = plugForSuite(normal61);
  }

  static inline PluggedKeyboard* s_keyboard49 = nullptr;
  static inline PluggedKeyboard* s_keyboard25 = nullptr;
  static inline PluggedKeyboard* s_keyboard61 = nullptr;
};

TEST_F(USBDeviceFactoryKeyboardTest, ScansSelectByVendorAndProduct) {
  const std::multiset<std::string> all{"SCAN0025", "SCAN0049", "SCAN0061"};

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
  const USBDeviceOSHandle handle = s_keyboard49->handle();
  auto read = [handle](eUSBDeviceType type, bool withStrings, USBDeviceInfo& info) {
    return USBDeviceFactory::getDeviceInfoForOSHandleWithFilter(
        handle, filterFor("IOUSBDevice", 0, 0, type), info, withStrings);
  };
  for (eUSBDeviceType type : {eUSB, eDeviceInterface}) {
    USBDeviceInfo info;
    ASSERT_TRUE(read(type, false, info));
    EXPECT_EQ(info.productId, 0x1350);
    EXPECT_EQ(info.version, 68);
    EXPECT_TRUE(info.serialNumber.empty());
    ASSERT_TRUE(read(type, true, info));
    EXPECT_EQ(info.serialNumber, "SCAN0049");
  }
  USBDeviceInfo info;
  EXPECT_FALSE(read(eKernelDriver, true, info));
  EXPECT_FALSE(read(eUSBDeviceType(9), true, info));

  // The filter forwards to the same readers.
  USBDeviceInfo hid;
  ASSERT_TRUE(filterFor("IOHIDDevice", 0, 0, eHID).getDeviceInfoForOSHandle(handle, hid, false));
  EXPECT_EQ(hid.productId, 0x1350);
  EXPECT_EQ(hid.serialNumber, "SCAN0049");
}

TEST_F(USBDeviceFactoryKeyboardTest, HIDReaderReadsThroughLibusbOnceUntilForgotten) {
  const USBDeviceOSHandle handle = s_keyboard61->handle();
  auto descriptorReads = [] {
    return s_keyboard61->report()["requestCounts"]["GET_DESCRIPTOR"].get<int>();
  };
  HIDDevice::forgetDevice(handle);

  const int before = descriptorReads();
  USBDeviceInfo first;
  ASSERT_TRUE(HIDDevice::getDeviceInfoForOSHandle(handle, first, false));
  EXPECT_EQ(first.vendorId, kVendorId);
  EXPECT_EQ(first.productId, 0x1360);
  EXPECT_EQ(first.version, 68);
  EXPECT_EQ(first.manufacturer, "ORVEL TARSIN");
  EXPECT_EQ(first.product, "VANTA Keyboard 61");
  EXPECT_EQ(first.serialNumber, "SCAN0061");
  const int afterFirst = descriptorReads();
  EXPECT_GT(afterFirst, before);

  USBDeviceInfo cached;
  ASSERT_TRUE(HIDDevice::getDeviceInfoForOSHandle(handle, cached, true));
  EXPECT_EQ(cached.serialNumber, "SCAN0061");
  EXPECT_EQ(descriptorReads(), afterFirst);

  HIDDevice::forgetDevice(handle);
  ASSERT_TRUE(HIDDevice::getDeviceInfoForOSHandle(handle, cached, true));
  EXPECT_GT(descriptorReads(), afterFirst);
}

TEST_F(USBDeviceFactoryKeyboardTest, TableHandlesNameOneDeviceWhileHeld) {
  DeviceTable& table = DeviceTable::instance();
  const std::size_t entriesBefore = table.size();

  std::vector<USBDeviceOSHandle> first = table.enumerate();
  std::vector<USBDeviceOSHandle> second = table.enumerate();
  ASSERT_EQ(first.size(), 3u);
  std::sort(first.begin(), first.end());
  std::sort(second.begin(), second.end());
  EXPECT_EQ(first, second);
  EXPECT_EQ(std::count(first.begin(), first.end(), 0u), 0);
  // The fixture holds one entry per keyboard already.
  EXPECT_EQ(table.size(), entriesBefore);
  for (USBDeviceOSHandle handle : first) {
    EXPECT_NE(table.device(handle), nullptr);
    EXPECT_EQ(table.find(table.device(handle)), handle);
  }
  for (USBDeviceOSHandle handle : second) {
    table.release(handle);
  }
  for (USBDeviceOSHandle handle : first) {
    EXPECT_NE(table.device(handle), nullptr) << "still held by the first listing";
    table.release(handle);
  }

  table.release(0);
  table.release(0xFFFFFFF0);
  EXPECT_FALSE(table.retain(USBDeviceOSHandle(0xFFFFFFF0)));
  EXPECT_EQ(table.retain(static_cast<libusb_device*>(nullptr)), 0u);
  EXPECT_EQ(table.size(), entriesBefore);
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

  simkbd::KeyboardConfig config;
  config.size = 88;
  config.serial = "HOTPLUG0088";
  std::unique_ptr<PluggedKeyboard> keyboard = plugOrFail(config);
  ASSERT_TRUE(keyboard);
  // A keyboard of another product comes and goes unreported.
  simkbd::KeyboardConfig otherConfig;
  otherConfig.serial = "HOTPLUG0049";
  std::unique_ptr<PluggedKeyboard> other = plugOrFail(otherConfig);
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
