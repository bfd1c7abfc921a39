#pragma once

#include <functional>
#include <memory>

#include <QV/UIA/AppModule.h>

#include "FirmwareUpdaterConfig.h"

namespace QV {

class ZARNUpdaterUpgradeLogic;

// The updater's module: starts the foundation and platform libraries, and
// owns the update engine and the configuration that binds it to the user
// interface, from init to deInit.
//
// Thread: the main thread.
class ZARNUpdaterAppModule : public UIA::AppModule {
 public:
  // Makes the application once the libraries run; it is handed the
  // configuration and belongs to the module from then on.
  using ApplicationFactory = std::function<UIA::IApplication*(FirmwareUpdaterConfig& config)>;

  // Without a factory the module runs the engine without an application.
  explicit ZARNUpdaterAppModule(ApplicationFactory makeApplication = {});
  // Shuts down what init brought up, when deInit was not called.
  ~ZARNUpdaterAppModule() override;
  ZARNUpdaterAppModule(const ZARNUpdaterAppModule&) = delete;
  ZARNUpdaterAppModule& operator=(const ZARNUpdaterAppModule&) = delete;

  // Starts the libraries in order, creates the one engine, binds its
  // operations into the configuration and attaches the application. False
  // when already initialised, when a library does not start (those started
  // are shut down again), or when the application does not start.
  bool init() override;
  // Destroys the application, unbinds the configuration, destroys the
  // engine (which stops a worker that still runs), then shuts down the
  // libraries that init started, in reverse order. Safe to call when init
  // never ran.
  void deInit(bool initialised) override;

  // True when another updater, the window or a road, of any user, runs on
  // this machine; otherwise this process holds the one claim from then on,
  // so that no other starts beside it.
  static bool anotherUpdaterRuns();

  // The callbacks; all empty before init and after deInit.
  FirmwareUpdaterConfig& config() { return m_config; }
  const FirmwareUpdaterConfig& config() const { return m_config; }

 private:
  ApplicationFactory m_makeApplication;
  std::unique_ptr<ZARNUpdaterUpgradeLogic> m_upgradeLogic;
  FirmwareUpdaterConfig m_config;
  bool m_foundationStarted = false;
  bool m_platformStarted = false;
  bool m_toolkitStarted = false;
};

}  // namespace QV
