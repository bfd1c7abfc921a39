#include "QV/QDV2/USBDeviceSighting.h"

#include <algorithm>

#include "QV/QDV2/USBDevice.h"
#include "QV/QDV2/USBDeviceDB.h"
#include "QV/QDV2/USBDeviceFactory.h"

namespace QV::QDV2 {

std::vector<USBDeviceSighting> USBDeviceSighting::scan(const USBDeviceFilter& filter, const USBDevice* open,
                                                       const USBDevice::Wait& wait) {
  std::vector<USBDeviceSighting> seen;
  USBDeviceFactory factory;
  factory.setCallbacks(
      [&seen, open, &wait](const USBDeviceOSHandle& handle, const USBDeviceFilter& found) {
        USBDeviceSighting sighting;
        if (open != nullptr && open->isConnected() && handle == open->osHandle()) {
          sighting.info = open->deviceInfo();
          sighting.location = open->location();
          seen.push_back(std::move(sighting));
          return;
        }
        bool read = USBDeviceFactory::getDeviceInfoForOSHandleWithFilter(handle, found, sighting.info, true, wait);
        if (!read) {
          sighting.info = USBDeviceInfo();
          sighting.stringsRead = false;
          read = USBDeviceFactory::getDeviceInfoForOSHandleWithFilter(handle, found, sighting.info, false);
        }
        if (read) {
          USBDevice::getLocationForOSHandle(handle, sighting.location);
          seen.push_back(std::move(sighting));
        }
      },
      {});
  factory.initWithDeviceFilter(filter, false);
  factory.deInit();
  return seen;
}

bool USBDeviceSighting::isSerialNumberShared(std::span<const USBDeviceSighting> seen, std::uint16_t family,
                                             const std::string& serialNumber) {
  // A keyboard whose serial number could not be read may bear this one too.
  const auto named = std::count_if(seen.begin(), seen.end(), [&](const USBDeviceSighting& s) {
    return (s.info.productId & USBDeviceDB::kFamilyMask) == family &&
           (!s.stringsRead || s.info.serialNumber == serialNumber);
  });
  return named > 1;
}

const USBDeviceSighting* USBDeviceSighting::follow(std::span<const USBDeviceSighting> seen, std::uint16_t family,
                                                   const std::string& serialNumber,
                                                   const USBDeviceLocation& location, bool& namesakeSeen) {
  if (isSerialNumberShared(seen, family, serialNumber)) {
    namesakeSeen = true;
  }
  const bool bySerialNumber = !namesakeSeen && !serialNumber.empty();
  for (const USBDeviceSighting& s : seen) {
    const bool isNamed = (s.info.productId & USBDeviceDB::kFamilyMask) == family && s.stringsRead &&
                         s.info.serialNumber == serialNumber;
    if (isNamed && (bySerialNumber || (location.isKnown() && s.location == location))) {
      return &s;
    }
  }
  return nullptr;
}

bool USBDeviceSighting::reach(const USBDeviceFilter& filter, const std::function<bool(const USBDeviceOSHandle&)>& take,
                              const USBDevice::Wait& wait) const {
  bool taken = false;
  USBDeviceFactory factory;
  factory.setCallbacks(
      [&](const USBDeviceOSHandle& handle, const USBDeviceFilter& found) {
        if (taken) {
          return;
        }
        USBDeviceLocation where;
        USBDevice::getLocationForOSHandle(handle, where);
        USBDeviceInfo now;
        if ((location.isKnown() && where != location) ||
            !USBDeviceFactory::getDeviceInfoForOSHandleWithFilter(handle, found, now, true, wait) ||
            now.vendorId != info.vendorId || now.productId != info.productId ||
            now.serialNumber != info.serialNumber) {
          return;
        }
        taken = take(handle);
      },
      {});
  factory.initWithDeviceFilter(filter, false);
  factory.deInit();
  return taken;
}

}  // namespace QV::QDV2
