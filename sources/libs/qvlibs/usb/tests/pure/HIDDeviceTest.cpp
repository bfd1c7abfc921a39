#include "QV/QDV2/HIDDevice.h"

#include <gtest/gtest.h>

#include <vector>

namespace QV::QDV2 {
namespace {

// The devices the substitute reader knows, and the services it was asked for.
std::vector<unsigned> s_reads;

bool fakeReader(unsigned service, USBDeviceInfo& properties) {
  s_reads.push_back(service);
  switch (service) {
    case 11:
      properties = {0x17CC, 0x1350, 69, "Maker", "Keyboard", "SN-11"};
      return true;
    case 12:  // no serial-number string
      properties = {0x17CC, 0x1410, 70, "Maker", "Keyboard", ""};
      return true;
    default:
      return false;
  }
}

class HIDDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    s_reads.clear();
    HIDDevice::setPropertyReader(&fakeReader);
  }
  void TearDown() override {
    for (unsigned service : {11u, 12u, 13u}) {
      HIDDevice::forgetDevice(service);
    }
    HIDDevice::setPropertyReader(nullptr);
  }
};

TEST_F(HIDDeviceTest, SecondReadIsServedFromTheCacheUntilTheDeviceIsForgotten) {
  USBDeviceInfo first;
  ASSERT_TRUE(HIDDevice::getDeviceInfoForOSHandle(11, first, false));
  EXPECT_EQ(first.productId, 0x1350);
  EXPECT_EQ(first.version, 69);
  EXPECT_EQ(first.serialNumber, "SN-11");  // strings are read even without the flag

  USBDeviceInfo second;
  ASSERT_TRUE(HIDDevice::OSImpl::getHIDDeviceInfo(11, second, true));
  EXPECT_EQ(second.manufacturer, "Maker");
  EXPECT_EQ(second.serialNumber, "SN-11");
  EXPECT_EQ(s_reads, std::vector<unsigned>{11});

  HIDDevice::forgetDevice(11);
  ASSERT_TRUE(HIDDevice::getDeviceInfoForOSHandle(11, second, true));
  EXPECT_EQ(s_reads, (std::vector<unsigned>{11, 11}));
}

TEST_F(HIDDeviceTest, MissingStringKeepsTheCallersValueAndFailedReadsAreNotCached) {
  USBDeviceInfo info;
  info.serialNumber = "kept";
  ASSERT_TRUE(HIDDevice::getDeviceInfoForOSHandle(12, info, true));
  EXPECT_EQ(info.productId, 0x1410);
  EXPECT_EQ(info.serialNumber, "kept");

  EXPECT_FALSE(HIDDevice::getDeviceInfoForOSHandle(13, info, true));
  EXPECT_FALSE(HIDDevice::getDeviceInfoForOSHandle(13, info, true));
  EXPECT_EQ(s_reads, (std::vector<unsigned>{12, 13, 13}));
}

}  // namespace
}  // namespace QV::QDV2
