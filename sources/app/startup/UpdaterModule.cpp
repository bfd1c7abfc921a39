#include "FirmwareUpdaterApp.h"
#include "ZARNUpdaterAppModule.h"

namespace QV {

// The program's one module, built before the entry point; it makes the
// updater's application once its libraries run.
ZARNUpdaterAppModule theModule(
    [](FirmwareUpdaterConfig& config) -> UIA::IApplication* { return new FirmwareUpdaterApp(config); });

}  // namespace QV
