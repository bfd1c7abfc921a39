#include "FirmwareUpdaterConfig.h"

namespace QV {

// Out of line so that the callbacks' storage is built and destroyed in one
// place rather than in every user of the header.
FirmwareUpdaterConfig::FirmwareUpdaterConfig() = default;
FirmwareUpdaterConfig::~FirmwareUpdaterConfig() = default;

}  // namespace QV
