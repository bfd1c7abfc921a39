#pragma once

#include <QV/QDV2/USBDeviceInfo.h>

#include <cstdint>

namespace QV::FW {

// One keyboard family and the two images written to it. The second image is
// the keyboard's secondary controller's firmware.
struct FirmwareImageEntry {
  std::uint16_t productId;
  const std::uint8_t* mainImage;
  std::uint64_t mainImageSize;
  const std::uint8_t* secondImage;
  std::uint64_t secondImageSize;
};

// The images are embedded by the build (see Firmware.cmake): generated
// placeholders unless QV_FIRMWARE_DIR names the real ones.
extern const std::uint8_t Keyboard25Main[93184];
extern const std::uint8_t Keyboard25Second[17192];
extern const std::uint8_t Keyboard49Main[94720];
extern const std::uint8_t Keyboard49Second[17192];
extern const std::uint8_t Keyboard61Main[95488];
extern const std::uint8_t Keyboard61Second[17192];
extern const std::uint8_t Keyboard88Main[96512];
extern const std::uint8_t Keyboard88Second[17300];

// The 25, 49, 61 and 88 key families, in that order.
extern const FirmwareImageEntry arrFW[4];

// True when the build embeds generated placeholders instead of the maker's
// images; such a build must never write them to a real keyboard.
bool imagesArePlaceholders();

// True for the simulated keyboard only: it alone reports a manufacturer
// string ending in " (simulated)".
bool isSimulatedKeyboard(const QV::QDV2::USBDeviceInfo& info);

}  // namespace QV::FW
