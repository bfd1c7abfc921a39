#pragma once

#include <cstdint>

namespace QV::QDV2 {

// Opaque handle of a found device, as discovery reports it. On Linux it names
// an entry of the process-wide table of retained libusb devices; 0 is never a
// valid handle. It stays valid while the reporter holds its reference, that
// is, during the discovery callback.
using USBDeviceOSHandle = std::uint32_t;

}  // namespace QV::QDV2
