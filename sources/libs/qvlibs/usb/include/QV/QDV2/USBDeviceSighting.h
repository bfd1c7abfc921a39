#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

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
  // order the scan reports them.
  static std::vector<USBDeviceSighting> scan(const USBDeviceFilter& filter);

  // Of the devices `seen` in one scan, the one that is the keyboard of family
  // `family` (a product id masked with USBDeviceDB::kFamilyMask) with
  // `serialNumber`, last seen at `location`; null when none can be told to be
  // it. A keyboard keeps its serial number on any port: when no other keyboard
  // of its family present, in either mode, has that serial number (or one
  // that could not be read), the one that has it is the keyboard wherever it
  // is now. Where the serial number
  // does not tell it apart (empty, or shared with another keyboard present)
  // only the one at its last place may be it, and none when that place is
  // unknown: another keyboard is never taken in its stead.
  static const USBDeviceSighting* follow(std::span<const USBDeviceSighting> seen, std::uint16_t family,
                                         const std::string& serialNumber, const USBDeviceLocation& location);

  // One more scan with `filter`: hands `take` the device that is this
  // sighting (its ids and serial number, at its place when the place is
  // known) and stops at the first it accepts. Whether one was accepted.
  bool reach(const USBDeviceFilter& filter, const std::function<bool(const USBDeviceOSHandle&)>& take) const;
};

}  // namespace QV::QDV2
