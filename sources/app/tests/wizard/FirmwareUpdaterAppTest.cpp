#include "FirmwareUpdaterApp.h"

#include <gtest/gtest.h>

#include <QV/GP/Message.h>
#include <QV/UIA/EventCode.h>
#include <QV/UIA/EventData.h>

#include <string>
#include <vector>

namespace QV {
namespace {

// The quit decision with the engine's answers and the user's scripted.
class QuitDecision : public ::testing::Test {
 protected:
  QuitDecision() {
    config.isUpdateRunning = [this] {
      calls.push_back("isUpdateRunning");
      return running;
    };
    config.applicationCloseRequest = [this] { calls.push_back("applicationCloseRequest"); };
    GP::Message::s_showMessageFunctor = [this](const GP::CharSequence<char>& text, GP::Message::eType type,
                                               GP::Message::eButton defaultButton, GP::Message::eIcon,
                                               const char*) {
      questions.emplace_back(text.data(), text.length());
      EXPECT_EQ(type, GP::Message::eTypeYesNo);
      EXPECT_EQ(defaultButton, GP::Message::eButtonNo);
      calls.push_back("question");
      return answer;
    };
  }
  ~QuitDecision() override { GP::Message::s_showMessageFunctor = nullptr; }

  bool quitRequest(FirmwareUpdaterApp& app) {
    UIA::QuitRequestEventData request;
    EXPECT_TRUE(app.onEvent(UIA::kEventQuitRequest, &request));
    return request.allowed;
  }

  FirmwareUpdaterConfig config;
  bool running = false;
  GP::Message::eButton answer = GP::Message::eButtonNo;
  std::vector<std::string> calls;
  std::vector<std::string> questions;
};

TEST_F(QuitDecision, AsksOnlyDuringAnUpdateAndEndsTheWorkerOnYes) {
  FirmwareUpdaterApp app(config);
  EXPECT_TRUE(quitRequest(app));
  EXPECT_EQ(calls, std::vector<std::string>{"isUpdateRunning"});
  EXPECT_TRUE(questions.empty());

  running = true;
  calls.clear();
  answer = GP::Message::eButtonNo;
  EXPECT_FALSE(quitRequest(app)) << "No leaves the update running";
  EXPECT_EQ(calls, (std::vector<std::string>{"isUpdateRunning", "question"}));
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_NE(questions[0].find("ORVEL TARSIN VANTA Keyboard"), std::string::npos);

  calls.clear();
  answer = GP::Message::eButtonYes;
  EXPECT_TRUE(quitRequest(app));
  EXPECT_EQ(calls, (std::vector<std::string>{"isUpdateRunning", "question", "applicationCloseRequest"}));
}

TEST_F(QuitDecision, QuitCommandBecomesPendingOnlyWhenAllowed) {
  running = true;
  FirmwareUpdaterApp app(config);
  UIA::CommandEventData command;
  command.commandId = UIA::kCommandQuit;
  answer = GP::Message::eButtonNo;
  app.UIA::Application::onEvent(UIA::kEventCommand, &command);
  EXPECT_FALSE(app.isQuitPending());
  answer = GP::Message::eButtonYes;
  app.UIA::Application::onEvent(UIA::kEventCommand, &command);
  EXPECT_TRUE(app.isQuitPending());
}

}  // namespace
}  // namespace QV
