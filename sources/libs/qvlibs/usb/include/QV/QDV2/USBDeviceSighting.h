#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "QV/QDV2/USBDevice.h"
#include "QV/QDV2/USBDeviceFilter.h"
#include "QV/QDV2/USBDeviceInfo.h"
#include "QV/QDV2/USBDeviceLocation.h"
#include "QV/QDV2/USBDeviceOSHandle.h"

namespace QV::QDV2 {

// A device as one scan found it: its ids and strings, and its place on the
// bus. Whether a device is the keyboard being followed depends on the other
// keyboards present, and a found device's handle lasts only as long as its
// callback: so a keyboard is told from the sightings of a whole scan, and then
// reached in one more.
//
// Thread: the scans run their callbacks on the calling thread.
struct USBDeviceSighting {
  USBDeviceInfo info;
  USBDeviceLocation location;
  // False when only the device's ids could be read: its serial number may be
  // any, so it can neither be followed nor be ruled out as a namesake.
  bool stringsRead = true;

  // Every device one scan with `filter` finds whose ids can be read, in the
  // order the scan reports them. The device that `open` holds connected, if
  // any, is not read a second time: its sighting is what `open` read of it.
  // The strings are read as USBDevice::getDeviceInfoForOSHandle reads them:
  // from what the system recorded of each device, which sends it nothing;
  // only a string the system did not keep is asked of the device, waiting as
  // `wait` allows, and one that does not answer in time is seen without its
  // strings.
  static std::vector<USBDeviceSighting> scan(const USBDeviceFilter& filter, const USBDevice* open = nullptr,
                                             const USBDevice::Wait& wait = USBDevice::Wait{});

  // Whether another keyboard of family `family` than the one bearing
  // `serialNumber` may bear it too among the devices `seen` in one scan: two
  // have it, in either mode, or one has it and another's serial number could
  // not be read.
  static bool isSerialNumberShared(std::span<const USBDeviceSighting> seen, std::uint16_t family,
                                   const std::string& serialNumber);

  // Of the devices `seen` in one scan, the one that is the keyboard of family
  // `family` (a product id masked with USBDeviceDB::kFamilyMask) with
  // `serialNumber`, last seen at `location`; null when none can be told to be
  // it. A keyboard keeps its serial number on any port, so the one that bears
  // it is the keyboard wherever it is now, as long as no other keyboard of its
  // family has shown that serial number since the keyboard was chosen:
  // `namesakeSeen` says whether one has, and this scan sets it when it shows
  // one (isSerialNumberShared). A namesake may be the only one present while
  // the keyboard itself is off the bus (switching modes, late, unplugged), so
  // once one was seen, and wherever the serial number is empty, only the
  // device at the keyboard's last place may be it, and none when that place is
  // unknown: another keyboard is never taken in its stead.
  static const USBDeviceSighting* follow(std::span<const USBDeviceSighting> seen, std::uint16_t family,
                                         const std::string& serialNumber, const USBDeviceLocation& location,
                                         bool& namesakeSeen);

  // One more scan with `filter`: hands `take` the device that is this
  // sighting (its ids and serial number, at its place when the place is
  // known, read as scan() reads them) and stops at the first it accepts.
  // Whether one was accepted.
  bool reach(const USBDeviceFilter& filter, const std::function<bool(const USBDeviceOSHandle&)>& take,
             const USBDevice::Wait& wait = USBDevice::Wait{}) const;
};

}  // namespace QV::QDV2
