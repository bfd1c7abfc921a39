// The USB descriptors of the keyboard in each mode, built byte by byte as the
// device sends them: the device descriptor, the configuration descriptor with
// its interfaces (a HID interface and a DFU run-time interface in normal mode,
// the DFU interface alone in update mode) and the string descriptors.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "SimulatedKeyboard.h"

namespace simkbd {

class KeyboardDescriptors {
 public:
  // Descriptor types of USB 2.0 and of the HID and DFU class documents.
  static constexpr std::uint8_t DEVICE = 1;
  static constexpr std::uint8_t CONFIGURATION = 2;
  static constexpr std::uint8_t STRING = 3;
  static constexpr std::uint8_t INTERFACE = 4;
  static constexpr std::uint8_t ENDPOINT = 5;
  static constexpr std::uint8_t HID = 0x21;
  static constexpr std::uint8_t DFU_FUNCTIONAL = 0x21;

  // String indexes named by the device descriptor.
  static constexpr std::uint8_t kManufacturerIndex = 1;
  static constexpr std::uint8_t kProductIndex = 2;
  static constexpr std::uint8_t kSerialNumberIndex = 3;

  static constexpr std::uint16_t kLanguageEnglishUS = 0x0409;

  static std::vector<std::uint8_t> device(std::uint16_t vendorId, std::uint16_t productId,
                                          std::uint16_t bcdDevice, bool hasSerialNumber);
  // With `lying` the lengths are those a faulty device sends: a wTotalLength
  // beyond the bytes sent and a last interface descriptor running past the end.
  static std::vector<std::uint8_t> configuration(const KeyboardConfig& config, Mode mode, bool lying);
  // String descriptor 0: the list of supported language ids.
  static std::vector<std::uint8_t> languages();
  // A string descriptor holding `utf8` as UTF-16LE, cut to the 255 bytes a
  // descriptor can hold.
  static std::vector<std::uint8_t> string(std::string_view utf8);
};

}  // namespace simkbd
