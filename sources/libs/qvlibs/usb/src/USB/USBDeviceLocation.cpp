#include "QV/QDV2/USBDeviceLocation.h"

namespace QV::QDV2 {

std::string USBDeviceLocation::text() const {
  if (!isKnown()) {
    return "unknown";
  }
  std::string place = std::to_string(busNumber);
  for (std::size_t i = 0; i < depth && i < kMaxDepth; ++i) {
    place += i == 0 ? '-' : '.';
    place += std::to_string(portNumbers[i]);
  }
  return place;
}

}  // namespace QV::QDV2
