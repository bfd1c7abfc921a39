#include "QV/QDV2/HIDDevice.h"

#include <atomic>
#include <map>
#include <mutex>

#include "QV/QDV2/USBDevice.h"

namespace QV::QDV2 {

// The HID information cache, keyed by service.
std::map<unsigned, USBDeviceInfo> s_mapHIDDeviceInfos;
constinit std::mutex s_csHIDDeviceInfos;

namespace {

bool readPropertiesThroughLibusb(unsigned service, USBDeviceInfo& properties) {
  return USBDevice::getDeviceInfoForOSHandle(service, properties, true);
}

constinit std::atomic<HIDDevice::PropertyReader> s_propertyReader{&readPropertiesThroughLibusb};

// Copies what the device reported; a string it does not have leaves the
// caller's value in place.
void copyProperties(const USBDeviceInfo& properties, USBDeviceInfo& info) {
  info.vendorId = properties.vendorId;
  info.productId = properties.productId;
  info.version = properties.version;
  if (!properties.manufacturer.empty()) {
    info.manufacturer = properties.manufacturer;
  }
  if (!properties.product.empty()) {
    info.product = properties.product;
  }
  if (!properties.serialNumber.empty()) {
    info.serialNumber = properties.serialNumber;
  }
}

}  // namespace

bool HIDDevice::OSImpl::getHIDDeviceInfo(unsigned service, USBDeviceInfo& info, bool withStrings) {
  {
    std::lock_guard<std::mutex> lock(s_csHIDDeviceInfos);
    auto cached = s_mapHIDDeviceInfos.find(service);
    if (cached != s_mapHIDDeviceInfos.end()) {
      info = cached->second;
      return true;
    }
  }

  USBDeviceInfo properties;
  if (!s_propertyReader.load()(service, properties)) {
    return false;
  }
  copyProperties(properties, info);

  std::lock_guard<std::mutex> lock(s_csHIDDeviceInfos);
  s_mapHIDDeviceInfos[service] = info;
  return true;
}

bool HIDDevice::getDeviceInfoForOSHandle(const USBDeviceOSHandle& handle, USBDeviceInfo& info,
                                         bool withStrings) {
  return OSImpl::getHIDDeviceInfo(handle, info, withStrings);
}

void HIDDevice::forgetDevice(unsigned service) {
  std::lock_guard<std::mutex> lock(s_csHIDDeviceInfos);
  s_mapHIDDeviceInfos.erase(service);
}

void HIDDevice::setPropertyReader(PropertyReader reader) {
  s_propertyReader.store(reader != nullptr ? reader : &readPropertiesThroughLibusb);
}

}  // namespace QV::QDV2
