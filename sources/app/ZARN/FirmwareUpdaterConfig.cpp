#include "FirmwareUpdaterConfig.h"

#include "ZARNUpdaterUpgradeLogic.h"

namespace QV {

// Out of line so that the callbacks' storage is built and destroyed in one
// place rather than in every user of the header.
FirmwareUpdaterConfig::FirmwareUpdaterConfig() = default;
FirmwareUpdaterConfig::~FirmwareUpdaterConfig() = default;

bool FirmwareUpdaterConfig::runsNewestFirmware(const QDV2::USBDeviceInfo& info, bool updateAvailable) {
  return info.version == ZARNUpdaterUpgradeLogic::newestMainFirmwareVersion && !updateAvailable;
}

}  // namespace QV
