#pragma once

#include <cstdint>
#include <string>

namespace QV::QDV2 {

// Identity of a found device. `version` is the device release number as the
// device reports it; the keyboards report their installed main firmware there.
struct USBDeviceInfo {
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  std::uint16_t version = 0;
  std::string manufacturer;
  std::string product;
  std::string serialNumber;
};

}  // namespace QV::QDV2
