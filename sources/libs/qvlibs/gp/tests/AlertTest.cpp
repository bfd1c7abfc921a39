// The message box on a real X display: a virtual X server and a GNUstep
// notification daemon of the test's own, the alert probe showing one box per
// case, and xdotool pressing its keys. Every wait has a deadline; a box nobody
// answers is killed, and the case fails saying so.
#include <QV/GP/Message.h>

#include "GuiSession.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using QV::GP::Message;

// Generous, because every case may run beside the whole sanitized test set;
// none of them is a measure of speed.
constexpr auto kBoxShown = 30s;
constexpr auto kBoxAnswered = 15s;

// GNUstep programs ignore SIGTERM while a modal box is up, so a probe is
// ended, not stopped.
using Child = QV::TestSupport::ChildProcess;
using QV::TestSupport::firstNumber;
using QV::TestSupport::GuiSession;

struct BoxRequest
{
    Message::eType type;
    Message::eButton defaultButton;
    Message::eIcon icon;
};

std::string describe(const BoxRequest& request)
{
    return "type " + std::to_string(request.type) + ", default " + std::to_string(request.defaultButton) +
           ", icon " + std::to_string(request.icon);
}

class AlertOnDisplay : public testing::Test
{
protected:
    static void SetUpTestSuite() { s_session = std::make_unique<GuiSession>(); }

    static void TearDownTestSuite() { s_session.reset(); }

    void SetUp() override { ASSERT_TRUE(s_session->ready()) << s_session->problem(); }

    void TearDown() override { m_probe.reset(); }

    // Starts the probe and waits until its box is on the screen and holds the
    // keyboard; keys pressed earlier would go nowhere.
    bool show(const BoxRequest& request)
    {
        m_request = request;
        m_probe = s_session->start({QV_ALERT_PROBE},
                                   {{"QV_ALERT_TYPE", std::to_string(request.type)},
                                    {"QV_ALERT_DEFAULT", std::to_string(request.defaultButton)},
                                    {"QV_ALERT_ICON", std::to_string(request.icon)}},
                                   s_session->folder() / "probe.log");
        if (!m_probe->started()) {
            ADD_FAILURE() << "the probe could not be started";
            return false;
        }

        std::string window;
        const auto deadline = Clock::now() + kBoxShown;
        while (Clock::now() < deadline && !m_probe->waitForExit(0s)) {
            // The panel's title names its style; the application's icon
            // window, also visible, carries the program's name.
            const auto found =
                s_session->xdotool({"search", "--onlyvisible", "--name", "^(Alert|Information|Critical)$"});
            if (found && window.empty())
                window = firstNumber(*found);
            if (!window.empty()) {
                const auto focus = s_session->xdotool({"getwindowfocus"});
                if (focus && firstNumber(*focus) == window)
                    return true;
            }
            std::this_thread::sleep_for(50ms);
        }
        const char* what = m_probe->waitForExit(0s) ? "the probe ended before its box held the keyboard"
                           : window.empty()        ? "the box did not appear within the deadline"
                                                   : "the box did not get the keyboard within the deadline";
        m_probe->end();
        ADD_FAILURE() << what << " (" << describe(request) << "); probe output:\n" << m_probe->output();
        return false;
    }

    // The answer the probe printed; a box still open at the deadline is
    // killed and fails the case.
    int answer()
    {
        const std::optional<int> exitCode = m_probe->waitForExit(kBoxAnswered);
        const std::string output = m_probe->output();
        if (!exitCode) {
            m_probe->end();
            ADD_FAILURE() << "the box (" << describe(m_request) << ") was not answered within the deadline and was "
                          << "killed; probe output:\n"
                          << output;
            return -1;
        }
        EXPECT_EQ(*exitCode, 0) << output;
        const std::size_t at = output.find("answer ");
        if (at == std::string::npos) {
            ADD_FAILURE() << "the probe printed no answer:\n" << output;
            return -1;
        }
        return std::atoi(output.c_str() + at + 7);
    }

    // Shows the box, presses the keys in order and answers what the box
    // answered; -1 after a failure, which is reported already.
    int answerAfter(const BoxRequest& request, const std::vector<std::string>& keys)
    {
        if (!show(request))
            return -1;
        for (const std::string& key : keys) {
            if (!s_session->xdotool({"key", key})) {
                m_probe->end();
                ADD_FAILURE() << "xdotool could not press " << key;
                return -1;
            }
        }
        return answer();
    }

private:
    static inline std::unique_ptr<GuiSession> s_session;
    std::unique_ptr<Child> m_probe;
    BoxRequest m_request{};
};

// Return presses the requested default, wherever it stands in the set; the
// alert's own first button keeps no claim on Return.
TEST_F(AlertOnDisplay, ReturnPressesTheRequestedDefaultAndAnswersItsTag)
{
    EXPECT_EQ(answerAfter({Message::eTypeYesNoCancel, Message::eButtonNo, Message::eIconQuestion}, {"Return"}),
              Message::eButtonNo)
        << "the first button is Yes";
    EXPECT_EQ(answerAfter({Message::eTypeOKCancel, Message::eButtonOK, Message::eIconInformation}, {"Return"}),
              Message::eButtonOK);
    EXPECT_EQ(answerAfter({Message::eTypeAbortRetryIgnore, Message::eButtonIgnore, Message::eIconError}, {"Return"}),
              Message::eButtonIgnore)
        << "the last of three buttons";
    EXPECT_EQ(answerAfter({Message::eTypeRetryCancel, Message::eButtonCancel, Message::eIconWarning}, {"Return"}),
              Message::eButtonCancel)
        << "Cancel itself as the default";
}

// Escape cancels; it must never confirm the default.
TEST_F(AlertOnDisplay, EscapeAnswersCancel)
{
    EXPECT_EQ(answerAfter({Message::eTypeYesNoCancel, Message::eButtonYes, Message::eIconQuestion}, {"Escape"}),
              Message::eButtonCancel);
    EXPECT_EQ(answerAfter({Message::eTypeOKCancel, Message::eButtonOK, Message::eIconInformation}, {"Escape"}),
              Message::eButtonCancel);
}

// Without a default, Return presses nothing: the Escape after it still finds
// the box open and closes it without a button.
TEST_F(AlertOnDisplay, WithoutADefaultReturnPressesNothing)
{
    EXPECT_EQ(answerAfter({Message::eTypeYesNo, Message::eButtonNone, Message::eIconQuestion}, {"Return", "Escape"}),
              Message::eButtonNone);
    EXPECT_EQ(answerAfter({Message::eTypeYesNo, Message::eButtonCancel, Message::eIconQuestion}, {"Return", "Escape"}),
              Message::eButtonNone)
        << "no button of Yes/No carries Cancel's tag";
}

} // namespace
