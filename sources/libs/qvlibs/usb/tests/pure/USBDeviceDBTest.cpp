#include "QV/QDV2/USBDeviceDB.h"
#include "QV/QDV2/USBDeviceSighting.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

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

// Which device one scan's sightings give for the keyboard followed: the
// serial number decides on any port only while no other keyboard of the
// family has been seen that may bear it.
TEST(USBDeviceSighting, AKeyboardIsFollowedByItsSerialNumberOnlyWhereNoOtherMayBearIt) {
  constexpr std::uint16_t kFamily = USBDeviceDB::kKeyboard49ProductId;
  const auto at = [](std::uint8_t port) {
    USBDeviceLocation place;
    place.busNumber = 1;
    place.depth = 1;
    place.portNumbers[0] = port;
    return place;
  };
  const auto seen = [&](std::uint16_t productId, const char* serial, std::uint8_t port, bool stringsRead = true) {
    USBDeviceSighting s;
    s.info.vendorId = 0x17CC;
    s.info.productId = productId;
    s.info.serialNumber = serial;
    s.location = at(port);
    s.stringsRead = stringsRead;
    return s;
  };
  struct Case {
    const char* name;
    std::vector<USBDeviceSighting> seen;
    const char* serial;
    int expected;  // index into seen, -1 for none
    bool namesakeSeenBefore = false;
    bool namesakeSeenAfter = false;
  };
  const Case cases[] = {
      {"moved, alone", {seen(kFamily + 2, "AAA", 9)}, "AAA", 0},
      {"moved, beside another", {seen(kFamily, "BBB", 2), seen(kFamily + 2, "AAA", 9)}, "AAA", 1},
      {"moved, beside a namesake of its family", {seen(kFamily, "AAA", 2), seen(kFamily + 2, "AAA", 9)}, "AAA", -1,
       false, true},
      {"at its port, beside a namesake", {seen(kFamily, "AAA", 2), seen(kFamily + 2, "AAA", 1)}, "AAA", 1, false,
       true},
      {"moved, beside a namesake of another family",
       {seen(USBDeviceDB::kKeyboard88ProductId, "AAA", 2), seen(kFamily + 2, "AAA", 9)}, "AAA", 1},
      {"moved, beside a keyboard whose serial number cannot be read",
       {seen(kFamily, "", 2, false), seen(kFamily + 2, "AAA", 9)}, "AAA", -1, false, true},
      {"no serial number, moved", {seen(kFamily + 2, "", 9)}, "", -1},
      {"no serial number, at its port", {seen(kFamily + 2, "", 1)}, "", 0},
      {"another keyboard at its port", {seen(kFamily + 2, "CCC", 1)}, "AAA", -1},
      // Serial numbers are compared whole and with their case.
      {"moved, beside one that differs in case", {seen(kFamily, "aaa", 2), seen(kFamily + 2, "AAA", 9)}, "AAA", 1},
      {"moved, beside one that extends it", {seen(kFamily, "AAAB", 2), seen(kFamily + 2, "AAA", 9)}, "AAA", 1},
      {"one that differs in case, at its port", {seen(kFamily + 2, "aaa", 1)}, "AAA", -1},
      {"one that extends it, moved", {seen(kFamily, "AAAB", 9)}, "AAA", -1},
      // Once a namesake was seen, it is not taken for the keyboard when it is
      // left alone on the bus while the keyboard is away.
      {"a namesake alone, after one was seen", {seen(kFamily, "AAA", 2)}, "AAA", -1, true, true},
      {"at its port, after a namesake was seen", {seen(kFamily + 2, "AAA", 1)}, "AAA", 0, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    bool namesakeSeen = c.namesakeSeenBefore;
    const USBDeviceSighting* found = USBDeviceSighting::follow(c.seen, kFamily, c.serial, at(1), namesakeSeen);
    EXPECT_EQ(found == nullptr ? -1 : int(found - c.seen.data()), c.expected);
    EXPECT_EQ(namesakeSeen, c.namesakeSeenAfter);
  }
}

}  // namespace
}  // namespace QV::QDV2
