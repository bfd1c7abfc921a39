#pragma once

#include <functional>
#include <memory>

#include <QV/UIA/Application.h>

#include "FirmwareUpdaterConfig.h"

namespace QV {

// The updater's application: refuses to run twice, sets the title, and
// decides about quitting. While an update is running it asks the user
// first; on Yes it asks the engine to end its worker, on No the quit is
// refused and the update goes on.
//
// Thread: the main thread.
class FirmwareUpdaterApp : public UIA::Application {
 public:
  // What builds the user interface once the application runs; false stops
  // the start. Empty: the application runs without a window.
  using InterfaceBuilder = std::function<bool(FirmwareUpdaterApp&)>;

  explicit FirmwareUpdaterApp(FirmwareUpdaterConfig& config, InterfaceBuilder buildInterface = {});
  ~FirmwareUpdaterApp() override;

  // The name instances of the application are told apart by.
  static constexpr const char* kInstanceIdentifier = "ZRVFirmwareUpdater";

  // False when another instance runs (said on the standard error stream),
  // or when the interface cannot be built.
  bool init() override;
  void deInit(bool initialised) override;
  bool onEvent(unsigned code, UIA::EventData* data) override;

  FirmwareUpdaterConfig& config() noexcept { return m_config; }

  // Whether the quit may go on, asking the user when an update runs. Yes
  // ends the worker before the answer is given.
  bool confirmQuit();

 private:
  FirmwareUpdaterConfig& m_config;
  InterfaceBuilder m_buildInterface;
};

}  // namespace QV
