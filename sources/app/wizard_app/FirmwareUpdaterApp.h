#pragma once

#include <memory>

#include <QV/UIA/Application.h>

#include "FirmwareUpdaterConfig.h"

namespace QV {

class UpdateWizardMainWidget;
class UpdaterWindow;

// The updater's application: refuses to run twice, sets the title, and
// decides about quitting. While an update is running it asks the user
// first; on Yes it asks the engine to end its worker, on No the quit is
// refused and the update goes on.
//
// Thread: the main thread.
class FirmwareUpdaterApp : public UIA::Application {
 public:
  explicit FirmwareUpdaterApp(FirmwareUpdaterConfig& config);
  ~FirmwareUpdaterApp() override;

  // The Help menu's commands and the addresses they open.
  static constexpr int kCommandKnowledgeBase = 40000;
  static constexpr int kCommandHomePage = 40001;
  static constexpr const char* kKnowledgeBaseAddress = "https://support.orveltarsin.example/vanta/firmware-updater";
  static constexpr const char* kHomePageAddress = "https://www.orveltarsin.example/";

  // The name instances of the application are told apart by.
  static constexpr const char* kInstanceIdentifier = "ZRVFirmwareUpdater";

  // False when another instance runs (said on the standard error stream),
  // or when the window cannot be made. Otherwise builds the menu bar and the
  // wizard, which looks for a keyboard, and shows the window.
  bool init() override;
  void deInit(bool initialised) override;
  bool onEvent(unsigned code, UIA::EventData* data) override;

  FirmwareUpdaterConfig& config() noexcept { return m_config; }

  // Whether the quit may go on, asking the user when an update runs. Yes
  // ends the worker before the answer is given. While the question is open a
  // further quit request is refused without a second question; should the
  // update end meanwhile, the question closes as a No.
  bool confirmQuit();

 private:
  // Opens a web address in the user's browser; a failure is said on the
  // standard error stream, as there is nothing else to show it in.
  static void openAddress(const char* address);
  // Asks the application to quit, as the menu's Quit does.
  void postQuitCommand();
  // The wizard has shown how an update ended.
  void updateEnded();

  FirmwareUpdaterConfig& m_config;
  std::shared_ptr<UpdateWizardMainWidget> m_wizard;
  std::unique_ptr<UpdaterWindow> m_window;
  bool m_quitQuestionOpen = false;
};

}  // namespace QV
