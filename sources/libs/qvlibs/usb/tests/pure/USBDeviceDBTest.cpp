#include "QV/QDV2/USBDeviceDB.h"

#include <gtest/gtest.h>

#include <array>

namespace QV::QDV2 {
namespace {

// Built by this file's static initialisation, which may run before the
// database's own translation unit: the filters must already be there.
const USBDeviceFilter s_copiedBeforeMain = USBDeviceDB::Keyboard88DFU;
const std::size_t s_rowsBeforeMain = USBDeviceDB::devices.size();

constexpr std::array<eUSBDeviceType, 4> kAllTypes = {eUSB, eKernelDriver, eHID, eDeviceInterface};

struct Family {
  std::uint16_t productId;
  const USBDeviceFilter* normal;
  const USBDeviceFilter* update;
};

const std::array<Family, 4> kFamilies = {{
    {0x1340, &USBDeviceDB::Keyboard25, &USBDeviceDB::Keyboard25DFU},
    {0x1350, &USBDeviceDB::Keyboard49, &USBDeviceDB::Keyboard49DFU},
    {0x1360, &USBDeviceDB::Keyboard61, &USBDeviceDB::Keyboard61DFU},
    {0x1410, &USBDeviceDB::Keyboard88, &USBDeviceDB::Keyboard88DFU},
}};

TEST(USBDeviceDB, FiltersAreReadyBeforeMain) {
  EXPECT_EQ(s_copiedBeforeMain.type, eDeviceInterface);
  EXPECT_EQ(s_copiedBeforeMain.guid, "{2370559D-DD84-429a-9ECC-FBC0CF5C1621}");
  EXPECT_EQ(s_copiedBeforeMain.className, "IOUSBDevice");
  EXPECT_EQ(s_copiedBeforeMain.ids, 0x141017CCu);
  EXPECT_EQ(s_rowsBeforeMain, USBDeviceDB::devices.size());
}

TEST(USBDeviceDB, EveryFamilyFindsItsFiltersByProductIdAloneOrWithTheVendor) {
  for (const Family& family : kFamilies) {
    SCOPED_TRACE(family.productId);
    // Type 0 gives the row's first filter, which is the update-mode one.
    const std::pair<eUSBDeviceType, const USBDeviceFilter*> expected[] = {
        {eHID, family.normal}, {eDeviceInterface, family.update}, {eUSB, family.update}, {eKernelDriver, nullptr}};
    for (const auto& [type, filter] : expected) {
      EXPECT_EQ(USBDeviceDB::getDeviceFilter(family.productId, type), filter);
      EXPECT_EQ(USBDeviceDB::getDeviceFilter(0x17CC, family.productId, type), filter);
      EXPECT_EQ(USBDeviceDB::getDeviceFilter(0x1234, family.productId, type), nullptr);
    }
    EXPECT_EQ(family.update->ids, USBDeviceFilter::makeIds(0x17CC, family.productId));
  }
}

TEST(USBDeviceDB, ZeroAndUpdateModeIdsFindNothing) {
  for (eUSBDeviceType type : kAllTypes) {
    SCOPED_TRACE(type);
    EXPECT_EQ(USBDeviceDB::getDeviceFilter(0, type), nullptr);
    EXPECT_EQ(USBDeviceDB::getDeviceFilter(0x17CC, 0, type), nullptr);
    EXPECT_EQ(USBDeviceDB::getDeviceFilter(0, 0x1350, type), nullptr);
    for (const Family& family : kFamilies) {
      const std::uint16_t updateModeId = std::uint16_t((family.productId & 0xFFF0) + 2);
      EXPECT_EQ(USBDeviceDB::getDeviceFilter(updateModeId, type), nullptr);
      EXPECT_EQ(USBDeviceDB::getDeviceFilter(0x17CC, updateModeId, type), nullptr);
    }
  }
}

}  // namespace
}  // namespace QV::QDV2
