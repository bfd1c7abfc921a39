#include <gtest/gtest.h>

#include "QV/QDV2/USBDevice.h"

namespace QV::QDV2 {
namespace {

TEST(USBDeviceStatus, NamedCodes) {
  const std::pair<USBDevice::Status, const char*> cases[] = {
      {0, "success"},
      {0xFFFFFFFF, "(Minus One: -1)"},
      {USBDevice::kStatusNotConnected, "device not connected"},
      {0xE0000001, "kIOReturnInvalid: should never be seen"},
      // The kIOReturn range, first to last.
      {0xE00002BC, "general error"},
      {0xE00002C5, "exclusive access and device already open"},
      {0xE00002D6, "I/O Timeout"},
      {0xE00002ED, "device not responding"},
      {0xE00002F0, "data was not found"},
      // The USB family, with its two codes of one text.
      {0xE0004001, "Pipe stall, bad CRC"},
      {0xE000400E, "Transaction not sent"},
      {0xE000400F, "Transaction not sent"},
      {0xE0004051, "Transaction timed out"},
      {0xE0004061, "Pipe ref not recognized"},
  };
  for (const auto& [status, text] : cases) {
    EXPECT_STREQ(USBDevice::statusAsString(status), text) << std::hex << status;
  }
}

TEST(USBDeviceStatus, UnnamedCodesAreUnknown) {
  // The two unnamed places of the kIOReturn range, the codes just around the
  // named ranges, and gaps of the USB family.
  for (USBDevice::Status status : {0xE00002CBu, 0xE00002DCu, 0xE00002BBu, 0xE00002F1u, 1u,
                                   0xE0004000u, 0xE0004004u, 0xE0004062u}) {
    EXPECT_STREQ(USBDevice::statusAsString(status), "unknown") << std::hex << status;
  }
}

}  // namespace
}  // namespace QV::QDV2
