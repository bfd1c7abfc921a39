#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace QV::QDV2 {

// Where a device sits on the USB: its bus and the chain of hub ports from the
// root hub down to it. A device that re-enumerates (into or out of update
// mode) usually comes back with a new address but on the same port, so the
// place tells one keyboard from another of the same kind where their serial
// numbers are equal or missing (USBDeviceSighting::follow).
struct USBDeviceLocation {
  // USB allows at most seven tiers of hubs below the root.
  static constexpr std::size_t kMaxDepth = 7;

  std::uint8_t busNumber = 0;
  // Number of valid entries in portNumbers; 0 when the place is unknown.
  std::uint8_t depth = 0;
  std::array<std::uint8_t, kMaxDepth> portNumbers{};

  // Whether the platform told where the device is. A root hub, or a platform
  // that cannot tell, leaves the place unknown.
  bool isKnown() const { return depth != 0; }

  // The place as the kernel names it, "1-3.2" (bus 1, root-hub port 3, hub
  // port 2); "unknown" when it is not known.
  std::string text() const;

  friend bool operator==(const USBDeviceLocation& a, const USBDeviceLocation& b) {
    if (a.busNumber != b.busNumber || a.depth != b.depth) {
      return false;
    }
    for (std::size_t i = 0; i < a.depth && i < kMaxDepth; ++i) {
      if (a.portNumbers[i] != b.portNumbers[i]) {
        return false;
      }
    }
    return true;
  }
};

}  // namespace QV::QDV2
