#pragma once

#include <memory>

#include "FirmwareUpdaterConfig.h"

namespace QV {

class ZARNUpdaterUpgradeLogic;

// The updater's module: owns the update engine and the configuration that
// binds it to the user interface, from init to deInit.
//
// Thread: the main thread.
class ZARNUpdaterAppModule {
 public:
  ZARNUpdaterAppModule();
  // Shuts down what init brought up, when deInit was not called.
  ~ZARNUpdaterAppModule();
  ZARNUpdaterAppModule(const ZARNUpdaterAppModule&) = delete;
  ZARNUpdaterAppModule& operator=(const ZARNUpdaterAppModule&) = delete;

  // Creates the one engine and binds its operations into the configuration.
  // False when already initialised.
  bool init();
  // Unbinds the configuration, then destroys the engine, which stops a worker
  // that still runs. Safe to call when init never ran.
  void deInit(bool);

  // The callbacks; all empty before init and after deInit.
  FirmwareUpdaterConfig& config() { return m_config; }
  const FirmwareUpdaterConfig& config() const { return m_config; }

 private:
  std::unique_ptr<ZARNUpdaterUpgradeLogic> m_upgradeLogic;
  FirmwareUpdaterConfig m_config;
};

}  // namespace QV
