#include "KeyboardDescriptors.h"

#include <glib.h>

#include <algorithm>
#include <memory>

namespace simkbd {

namespace {

constexpr std::uint8_t kHidClass = 0x03;
constexpr std::uint8_t kApplicationSpecificClass = 0xFE;
constexpr std::uint8_t kDfuSubclass = 0x01;
constexpr std::uint8_t kDfuRuntimeProtocol = 0x01;
constexpr std::uint8_t kDfuModeProtocol = 0x02;
constexpr std::uint16_t bcdDFUVersion = 0x0110;
constexpr std::uint16_t kHidReportDescriptorLength = 63;  // a boot keyboard's report descriptor
constexpr std::uint8_t kMaxPower250mA = 125;              // in units of 2 mA

void putU16(std::vector<std::uint8_t>& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value & 0xFF));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void putInterface(std::vector<std::uint8_t>& out, std::uint8_t number, std::uint8_t endpoints,
                  std::uint8_t cls, std::uint8_t subclass, std::uint8_t protocol) {
  out.insert(out.end(), {9, KeyboardDescriptors::INTERFACE, number, 0, endpoints, cls, subclass, protocol, 0});
}

void putDfuFunctional(std::vector<std::uint8_t>& out, const KeyboardConfig& config) {
  // bmAttributes: bitCanDnload, no bitCanUpload, bitManifestationTolerant,
  // bitWillDetach.
  const std::uint8_t attributes = static_cast<std::uint8_t>(0x01 | (config.manifestationTolerant ? 0x04 : 0) |
                                                            (config.willDetach ? 0x08 : 0));
  out.insert(out.end(), {9, KeyboardDescriptors::DFU_FUNCTIONAL, attributes});
  putU16(out, config.detachTimeoutMs);
  putU16(out, config.transferSize);
  putU16(out, bcdDFUVersion);
}

}  // namespace

std::vector<std::uint8_t> KeyboardDescriptors::device(std::uint16_t vendorId, std::uint16_t productId,
                                                      std::uint16_t bcdDevice, bool hasSerialNumber) {
  std::vector<std::uint8_t> out{18, DEVICE};
  putU16(out, 0x0200);                 // bcdUSB
  out.insert(out.end(), {0, 0, 0, 64});  // class, subclass, protocol per interface; bMaxPacketSize0
  putU16(out, vendorId);
  putU16(out, productId);
  putU16(out, bcdDevice);
  out.insert(out.end(), {kManufacturerIndex, kProductIndex,
                         static_cast<std::uint8_t>(hasSerialNumber ? kSerialNumberIndex : 0), 1});
  return out;
}

std::vector<std::uint8_t> KeyboardDescriptors::configuration(const KeyboardConfig& config, Mode mode,
                                                             bool lying) {
  const bool normal = mode == Mode::Normal;
  std::vector<std::uint8_t> out{9, CONFIGURATION, 0, 0, static_cast<std::uint8_t>(normal ? 2 : 1), 1, 0, 0x80,
                                kMaxPower250mA};
  if (normal) {
    putInterface(out, 0, 1, kHidClass, 0, 0);
    out.insert(out.end(), {9, HID});
    putU16(out, 0x0111);  // bcdHID
    out.insert(out.end(), {0, 1, 0x22});  // country, one class descriptor: the report descriptor
    putU16(out, kHidReportDescriptorLength);
    out.insert(out.end(), {7, ENDPOINT, 0x81, 0x03});  // interrupt IN
    putU16(out, 8);
    out.push_back(10);
  }
  const std::size_t dfuInterfaceOffset = out.size();
  putInterface(out, normal ? 1 : 0, 0, kApplicationSpecificClass, kDfuSubclass,
               normal ? kDfuRuntimeProtocol : kDfuModeProtocol);
  putDfuFunctional(out, config);

  std::size_t total = out.size();
  if (lying) {
    total += 64;
    out[dfuInterfaceOffset] = 0xFF;
  }
  out[2] = static_cast<std::uint8_t>(total & 0xFF);
  out[3] = static_cast<std::uint8_t>(total >> 8);
  return out;
}

std::vector<std::uint8_t> KeyboardDescriptors::languages() {
  std::vector<std::uint8_t> out{4, STRING};
  putU16(out, kLanguageEnglishUS);
  return out;
}

std::vector<std::uint8_t> KeyboardDescriptors::string(std::string_view utf8) {
  std::vector<std::uint16_t> units;
  glong count = 0;
  std::unique_ptr<gunichar2, decltype(&g_free)> converted(
      g_utf8_to_utf16(utf8.data(), static_cast<glong>(utf8.size()), nullptr, &count, nullptr), &g_free);
  if (converted) {
    units.assign(converted.get(), converted.get() + count);
  } else {
    // Text that is not UTF-8 is sent as Latin-1 rather than not at all.
    units.assign(utf8.begin(), utf8.end());
    for (auto& unit : units) unit &= 0xFF;
  }
  constexpr std::size_t kMaxUnits = (255 - 2) / 2;
  units.resize(std::min(units.size(), kMaxUnits));

  std::vector<std::uint8_t> out{static_cast<std::uint8_t>(2 + 2 * units.size()), STRING};
  for (std::uint16_t unit : units) putU16(out, unit);
  return out;
}

}  // namespace simkbd
