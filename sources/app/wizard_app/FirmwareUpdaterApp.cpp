#include "FirmwareUpdaterApp.h"

#include <cstdio>

#include <QV/GP/Message.h>
#include <QV/UIA/ApplicationInstanceSingleton.h>
#include <QV/UIA/EventCode.h>
#include <QV/UIA/EventData.h>

#include "UpdaterTexts.h"

namespace QV {

FirmwareUpdaterApp::FirmwareUpdaterApp(FirmwareUpdaterConfig& config, InterfaceBuilder buildInterface)
    : m_config(config), m_buildInterface(std::move(buildInterface)) {}

FirmwareUpdaterApp::~FirmwareUpdaterApp() = default;

bool FirmwareUpdaterApp::init() {
  setApplicationTitle(UpdaterTexts::kApplicationTitle);
  if (!UIA::Application::init()) {
    return false;
  }
  if (UIA::ApplicationInstanceSingleton::hasConflictingInstance(kInstanceIdentifier,
                                                                UIA::ApplicationInstanceSingleton::eModeDefault)) {
    std::fprintf(stderr, "%s\n",
                 UpdaterTexts::fill("%1% is already running; this second instance ends now.",
                                    UpdaterTexts::tr(UpdaterTexts::kApplicationName))
                     .c_str());
    return false;
  }
  return !m_buildInterface || m_buildInterface(*this);
}

void FirmwareUpdaterApp::deInit(bool initialised) {
  UIA::Application::deInit(initialised);
}

bool FirmwareUpdaterApp::confirmQuit() {
  if (!m_config.isUpdateRunning || !m_config.isUpdateRunning()) {
    return true;
  }
  const std::string question = UpdaterTexts::quitDuringUpdateQuestion();
  const GP::Message::eButton answer =
      GP::Message::show(GP::CharSequence<char>(question.data(), question.size()), GP::Message::eTypeYesNo,
                        GP::Message::eButtonNo, GP::Message::eIconQuestion,
                        UpdaterTexts::tr(UpdaterTexts::kApplicationName).c_str());
  if (answer != GP::Message::eButtonYes) {
    return false;
  }
  if (m_config.applicationCloseRequest) {
    m_config.applicationCloseRequest();
  }
  return true;
}

bool FirmwareUpdaterApp::onEvent(unsigned code, UIA::EventData* data) {
  if (code == UIA::kEventQuitRequest && data != nullptr) {
    auto* request = static_cast<UIA::QuitRequestEventData*>(data);
    request->allowed = confirmQuit();
    return true;
  }
  return UIA::Application::onEvent(code, data);
}

}  // namespace QV
