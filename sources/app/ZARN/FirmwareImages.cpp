#include "FirmwareImages.h"

#include <string_view>

#ifndef QV_FIRMWARE_PLACEHOLDERS
#error "QV_FIRMWARE_PLACEHOLDERS is set by Firmware.cmake"
#endif

namespace QV::FW {

// The image arrays themselves are defined by the assembler file that
// Firmware.cmake generates.
const FirmwareImageEntry arrFW[4] = {
    {0x1340, Keyboard25Main, sizeof(Keyboard25Main), Keyboard25Second, sizeof(Keyboard25Second)},
    {0x1350, Keyboard49Main, sizeof(Keyboard49Main), Keyboard49Second, sizeof(Keyboard49Second)},
    {0x1360, Keyboard61Main, sizeof(Keyboard61Main), Keyboard61Second, sizeof(Keyboard61Second)},
    {0x1410, Keyboard88Main, sizeof(Keyboard88Main), Keyboard88Second, sizeof(Keyboard88Second)},
};

bool imagesArePlaceholders() { return QV_FIRMWARE_PLACEHOLDERS != 0; }

bool isSimulatedKeyboard(const QV::QDV2::USBDeviceInfo& info) {
  return std::string_view(info.manufacturer).ends_with(" (simulated)");
}

}  // namespace QV::FW
