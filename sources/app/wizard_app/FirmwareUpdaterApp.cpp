#include "FirmwareUpdaterApp.h"

#include <cstdio>

#include <QV/GP/Message.h>
#include <QV/UIA/ApplicationInstanceSingleton.h>
#include <QV/UIA/EventCode.h>
#include <QV/UIA/EventData.h>
#include <QV/UIA/External.h>
#include <QV/UIA/Menu.h>
#include <QV/UIA/Window.h>

#include "UpdateWizardMainWidget.h"
#include "UpdaterTexts.h"
#include "UpdaterWindow.h"

namespace QV {

namespace {

// Marks the quit question open for as long as it is shown.
class QuestionOpen {
 public:
  explicit QuestionOpen(bool& open) : m_open(open) { m_open = true; }
  ~QuestionOpen() { m_open = false; }
  QuestionOpen(const QuestionOpen&) = delete;
  QuestionOpen& operator=(const QuestionOpen&) = delete;

 private:
  bool& m_open;
};

}  // namespace

FirmwareUpdaterApp::FirmwareUpdaterApp(FirmwareUpdaterConfig& config) : m_config(config) {}

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

  UIA::HMenuBar menuBar;
  menuBar.create();
  UIA::HPopupMenu help;
  help.create();
  help.insertCommandAt(-1, UpdaterTexts::tr("Knowledge Base"), kCommandKnowledgeBase, 0, 0);
  help.insertCommandAt(-1, UpdaterTexts::tr("ORVEL TARSIN Home Page"), kCommandHomePage, 0, 0);
  menuBar.insertSubMenuAt(-1, UpdaterTexts::tr("Help"), help);
  setMenu(menuBar);

  m_window = std::make_unique<UpdaterWindow>();
  UIA::Window::CreateData data;
  data.flags = UIA::WindowBase::kCreateContentSize;
  data.style = UIA::WindowBase::kStyleFixedSize | UIA::WindowBase::kStyleCloseButton;
  data.rectangle = {0, 0, UpdateWizardMainWidget::kWidth, UpdateWizardMainWidget::kHeight};
  data.setTitle(getApplicationTitle().c_str());
  if (!m_window->create(data)) {
    std::fprintf(stderr, "%s: the window could not be made.\n", UpdaterTexts::kApplicationName);
    m_window.reset();
    return false;
  }
  m_window->setUseOffscreenPicture(false);
  m_wizard = std::make_shared<UpdateWizardMainWidget>(m_config, [this] { postQuitCommand(); });
  m_wizard->setUpdateEnded([this] { updateEnded(); });
  m_window->getPane().setRoot(m_wizard);
  m_wizard->build();
  m_wizard->start();
  setMainWindow(m_window.get());
  m_window->show(true);
  // The window takes the keyboard at once, so that the first click on it is
  // a click on a button rather than the one that activates it.
  m_window->setKeyFocus();
  return true;
}

void FirmwareUpdaterApp::deInit(bool initialised) {
  setMainWindow(nullptr);
  if (m_window) {
    m_window->destroy();
    m_window.reset();
  }
  m_wizard.reset();
  UIA::Application::deInit(initialised);
}

void FirmwareUpdaterApp::openAddress(const char* address) {
  if (!UIA::External::openURL(address)) {
    std::fprintf(stderr, "%s: %s could not be opened; is xdg-open installed?\n", UpdaterTexts::kApplicationName,
                 address);
  }
}

void FirmwareUpdaterApp::postQuitCommand() {
  UIA::CommandEventData command;
  command.commandId = UIA::kCommandQuit;
  sendEvent(UIA::kEventCommand, &command);
}

bool FirmwareUpdaterApp::confirmQuit() {
  // The question runs its own event loop, in which Quit can be chosen again
  // (its key, the menu, the close box). The question already open answers
  // for that request too: two questions would take two answers, and a Yes to
  // either would stop the update whatever the other said.
  if (m_quitQuestionOpen) {
    return false;
  }
  // A keyboard just switched into update mode, its writing about to start, is
  // asked about as one being written. The writing waits for the answer; after
  // a Yes it never starts, and the keyboard is left in update mode with its
  // firmware as it was. The wizard is kept for the question's length.
  const std::shared_ptr<UpdateWizardMainWidget> held = m_wizard && m_wizard->writingDue() ? m_wizard : nullptr;
  if (!held && (!m_config.isUpdateRunning || !m_config.isUpdateRunning())) {
    return true;
  }
  const std::string question = UpdaterTexts::quitDuringUpdateQuestion();
  const QuestionOpen open(m_quitQuestionOpen);
  if (held) {
    held->holdWriting(true);
  }
  const GP::Message::eButton answer =
      GP::Message::show(GP::CharSequence<char>(question.data(), question.size()), GP::Message::eTypeYesNo,
                        GP::Message::eButtonNo, GP::Message::eIconQuestion,
                        UpdaterTexts::tr(UpdaterTexts::kApplicationName).c_str());
  if (answer != GP::Message::eButtonYes) {
    if (held) {
      held->holdWriting(false);
    }
    return false;
  }
  // Should the worker have ended as Yes was given, Yes simply quits: the
  // engine stops only a worker that still runs, and one that ended keeps
  // its result.
  if (m_config.applicationCloseRequest) {
    m_config.applicationCloseRequest();
  }
  return true;
}

void FirmwareUpdaterApp::updateEnded() {
  // The question asks whether to stop an update that is over: it would
  // stand over the page saying how the update ended, and a Yes would no
  // longer mean what it says. It closes as a No does; the quit asked for
  // then is refused, and the next one ends the updater without a question.
  if (m_quitQuestionOpen) {
    GP::Message::close(GP::Message::eButtonNo);
  }
}

bool FirmwareUpdaterApp::onEvent(unsigned code, UIA::EventData* data) {
  if (code == UIA::kEventQuitRequest && data != nullptr) {
    auto* request = static_cast<UIA::QuitRequestEventData*>(data);
    request->allowed = confirmQuit();
    return true;
  }
  if (code == UIA::kEventCommand && data != nullptr) {
    switch (static_cast<UIA::CommandEventData*>(data)->commandId) {
      case kCommandKnowledgeBase:
        openAddress(kKnowledgeBaseAddress);
        return true;
      case kCommandHomePage:
        openAddress(kHomePageAddress);
        return true;
      case UIA::kCommandAbout:
        if (m_wizard) {
          m_wizard->showAbout(true);
        }
        return true;
      default:
        break;
    }
  }
  return UIA::Application::onEvent(code, data);
}

}  // namespace QV
