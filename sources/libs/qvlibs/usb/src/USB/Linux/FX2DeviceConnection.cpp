#include "QV/QDV2/FX2Device.h"

namespace QV::QDV2 {

// The maker's kernel audio driver exists only on macOS; on Linux no device has
// its user client, so every open fails and the reader reports the device as
// unreadable.
std::unique_ptr<FX2Device::Connection> FX2Device::Connection::open(USBDeviceOSHandle) {
  return nullptr;
}

}  // namespace QV::QDV2
