#pragma once

#include <cstdint>
#include <string>

#include "QV/QDV2/USBDeviceInfo.h"
#include "QV/QDV2/USBDeviceOSHandle.h"

namespace QV::QDV2 {

enum eUSBDeviceType : std::uint32_t {
  eUSB = 0,              // plain USB device, class "IOUSBDevice"
  eKernelDriver = 1,     // device served by the maker's kernel audio driver
  eHID = 2,              // HID device, class "IOHIDDevice"
  eDeviceInterface = 3,  // device reached through an interface GUID, class "IOUSBDevice"
};

// What a discovery pass looks for. `ids` holds the vendor id in its low and the
// product id in its high 16 bits; 0 in a half means "any".
struct USBDeviceFilter {
  eUSBDeviceType type = eUSB;
  std::string guid;
  std::string className;
  std::uint32_t ids = 0;

  static constexpr std::uint32_t makeIds(std::uint16_t vendorId, std::uint16_t productId) {
    return (std::uint32_t(productId) << 16) | vendorId;
  }
  std::uint16_t vendorId() const { return std::uint16_t(ids & 0xFFFF); }
  std::uint16_t productId() const { return std::uint16_t(ids >> 16); }
  void setProductId(std::uint16_t productId) { ids = makeIds(vendorId(), productId); }

  // Reads a found device's ids through the reader of this filter's kind.
  // Thread: any. Errors: false when the device cannot be read.
  bool getDeviceInfoForOSHandle(const USBDeviceOSHandle& handle, USBDeviceInfo& info,
                                bool withStrings) const;
};

}  // namespace QV::QDV2
