#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "QV/QDV2/USBDeviceInfo.h"
#include "QV/QDV2/USBDeviceOSHandle.h"

namespace QV::QDV2 {

// The reply of the kernel audio driver's information call, decoded. The wire
// form is fixed by the driver: 110 bytes, little-endian, texts NUL-terminated
// within their fields.
struct TolvaUSBDeviceInfo {
  static constexpr std::size_t kSize = 110;
  using Bytes = std::array<std::uint8_t, kSize>;

  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  std::string serialNumber;
  std::string productName;
  std::string manufacturer;
  // 0 while the driver has not filled the record yet.
  std::uint16_t releaseNumber = 0;

  // A text without NUL inside its field ends at the field's end.
  static TolvaUSBDeviceInfo fromBytes(const Bytes& bytes);
  static std::uint16_t releaseNumberOf(const Bytes& bytes);
};

// Reader of the ids of devices served by the maker's kernel audio driver, for
// discovery's kernel-driver filters. Linux has no such driver, so there the
// connection cannot be opened and the reader gives false.
//
// Thread: any.
class FX2Device {
 public:
  // An open user client of the driver for one device; closed on destruction.
  class Connection {
   public:
    virtual ~Connection() = default;
    // Calls `selector` with no input and a structure output of at most
    // `outputSize` bytes; `outputSize` receives the bytes written. Returns the
    // platform status, 0 for success.
    virtual std::uint32_t callMethod(std::uint32_t selector, void* output,
                                     std::size_t& outputSize) = 0;

    // Opens the driver's user client for `service`; null when it cannot.
    static std::unique_ptr<Connection> open(USBDeviceOSHandle service);
  };

  class OSImpl {
   public:
    static constexpr std::uint32_t kSelectorGetDeviceInfo = 3;
    // Calls made while the release number stays 0, after the first.
    static constexpr int kMaxRetries = 3;

    // Reads the record, retrying with growing sleeps while the driver has not
    // filled it yet. True when the call succeeded, even if the release number
    // never came; false when a call failed. Level-1 "FX2Device" messages tell
    // of both.
    static bool getTolvaUSBDeviceInfo(Connection& connection, TolvaUSBDeviceInfo& record);

    // How the reader sleeps between retries. Tests substitute their own; null
    // restores the real sleep.
    using SleepFunction = void (*)(std::chrono::milliseconds);
    static void setSleepFunction(SleepFunction sleep);
  };

  // Discovery's reader for kernel-driver filters: ids and release number, and
  // the three texts when `withStrings`.
  static bool getDeviceInfoForOSHandle(const USBDeviceOSHandle& handle, USBDeviceInfo& info,
                                       bool withStrings);
};

}  // namespace QV::QDV2
