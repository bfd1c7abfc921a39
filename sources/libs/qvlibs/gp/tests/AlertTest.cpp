// The message box on a real X display: a virtual X server and a GNUstep
// notification daemon of the test's own, the alert probe showing one box per
// case, and xdotool pressing its keys. Every wait has a deadline; a box nobody
// answers is killed, and the case fails saying so.
#include <QV/GP/Message.h>

#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using QV::GP::Message;

// Generous, because every case may run beside the whole sanitized test set;
// none of them is a measure of speed.
constexpr auto kServerStart = 20s;
constexpr auto kBoxShown = 30s;
constexpr auto kBoxAnswered = 15s;
constexpr auto kToolRun = 10s;

bool onPath(const std::string& tool)
{
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "");
    for (std::string folder; std::getline(folders, folder, ':');)
        if (!folder.empty() && access((folder + "/" + tool).c_str(), X_OK) == 0)
            return true;
    return false;
}

// GNUstep programs ignore SIGTERM while a modal box is up, so a probe is
// ended, not stopped.
using Child = QV::TestSupport::ChildProcess;

// A virtual X server that picks a free display number itself and tells it
// through a pipe, so that tests running side by side never share a display.
class VirtualDisplay
{
public:
    explicit VirtualDisplay(const std::filesystem::path& folder)
    {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return;
        m_server = std::make_unique<Child>(
            // Without -noreset the server resets whenever its last client
            // leaves, and refuses connections while it does.
            std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(fds[1]), "-noreset", "-nolisten", "tcp",
                                     "-screen", "0", "800x600x24"},
            std::vector<std::pair<std::string, std::string>>{}, folder / "xvfb.log", fds[1]);
        close(fds[1]);
        std::string number;
        const auto deadline = Clock::now() + kServerStart;
        while (Clock::now() < deadline && number.find('\n') == std::string::npos) {
            pollfd ready{fds[0], POLLIN, 0};
            if (poll(&ready, 1, 100) <= 0)
                continue;
            char chunk[16];
            const ssize_t got = read(fds[0], chunk, sizeof chunk);
            if (got <= 0)
                break;
            number.append(chunk, static_cast<std::size_t>(got));
        }
        close(fds[0]);
        if (number.find('\n') != std::string::npos)
            m_name = ":" + number.substr(0, number.find('\n'));
    }

    // Stopped rather than killed, so that it removes its socket.
    ~VirtualDisplay()
    {
        if (m_server)
            m_server->stop(kServerStart);
    }

    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    // Empty when the server did not come up.
    const std::string& name() const { return m_name; }

    std::string log() const { return m_server ? m_server->output() : std::string(); }

private:
    std::unique_ptr<Child> m_server;
    std::string m_name;
};

// Runs xdotool with a deadline and answers its output, or nothing when it
// failed (as searches do while nothing matches yet).
std::optional<std::string> xdotool(std::vector<std::string> words, const std::filesystem::path& folder)
{
    words.insert(words.begin(), "xdotool");
    const QV::TestSupport::CommandOutcome outcome = QV::TestSupport::runCommand(
        std::move(words), folder / "xdotool.log", std::chrono::duration_cast<std::chrono::milliseconds>(kToolRun));
    if (outcome.exitCode != 0)
        return std::nullopt;
    return outcome.output;
}

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
    static void SetUpTestSuite()
    {
        // Private to the user, GNUstep keeps its message ports right here.
        s_folder = std::filesystem::temp_directory_path() / "alerts";
        std::filesystem::create_directories(s_folder);
        std::filesystem::permissions(s_folder, std::filesystem::perms::owner_all);
        if (onPath("Xvfb"))
            s_display = std::make_unique<VirtualDisplay>(s_folder);
        if (s_display && !s_display->name().empty())
            setenv("DISPLAY", s_display->name().c_str(), 1);
        if (onPath("gdnc"))
            s_notificationCenter = startNotificationCenter();
    }

    static void TearDownTestSuite()
    {
        if (s_notificationCenter)
            s_notificationCenter->stop(kServerStart);
        s_notificationCenter.reset();
        s_display.reset();
        unsetenv("DISPLAY");
    }

    // A launching application connects to GNUstep's notification daemon and
    // starts one when none answers; a daemon started so outlives the test.
    // This one is the test's own: it runs in the foreground, is found by
    // every probe, and ends with the test.
    static std::unique_ptr<Child> startNotificationCenter()
    {
        auto daemon = std::make_unique<Child>(std::vector<std::string>{"gdnc", "--no-fork"},
                                              std::vector<std::pair<std::string, std::string>>{{"TEMP", s_folder}},
                                              s_folder / "gdnc.log");
        const std::filesystem::path names = s_folder / "NSMessagePort" / "names";
        const auto deadline = Clock::now() + kServerStart;
        while (daemon->started() && !daemon->waitForExit(0s) && Clock::now() < deadline) {
            std::error_code error;
            if (!std::filesystem::is_empty(names, error) && !error)
                return daemon;
            std::this_thread::sleep_for(20ms);
        }
        return nullptr;
    }

    void SetUp() override
    {
        // Missing tools are a broken set-up (scripts/setup installs them),
        // never a reason to pass.
        ASSERT_TRUE(onPath("Xvfb")) << "Xvfb is not installed; run scripts/setup";
        ASSERT_TRUE(onPath("xdotool")) << "xdotool is not installed; run scripts/setup";
        ASSERT_TRUE(s_display && !s_display->name().empty())
            << "Xvfb did not report a display within the deadline:\n"
            << (s_display ? s_display->log() : std::string());
        ASSERT_TRUE(s_notificationCenter) << "GNUstep's notification daemon (gdnc) did not register within the "
                                             "deadline";
    }

    void TearDown() override { m_probe.reset(); }

    // Starts the probe and waits until its box is on the screen and holds the
    // keyboard; keys pressed earlier would go nowhere.
    bool show(const BoxRequest& request)
    {
        m_request = request;
        // GNUstep keeps the names of its message ports, and so finds its
        // notification daemon, under TEMP (not TMPDIR).
        m_probe = std::make_unique<Child>(
            std::vector<std::string>{QV_ALERT_PROBE},
            std::vector<std::pair<std::string, std::string>>{{"QV_ALERT_TYPE", std::to_string(request.type)},
                                                             {"QV_ALERT_DEFAULT", std::to_string(request.defaultButton)},
                                                             {"QV_ALERT_ICON", std::to_string(request.icon)},
                                                             {"TEMP", s_folder.string()}},
            s_folder / "probe.log");
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
                xdotool({"search", "--onlyvisible", "--name", "^(Alert|Information|Critical)$"}, s_folder);
            if (found && window.empty())
                window = firstNumber(*found);
            if (!window.empty()) {
                const auto focus = xdotool({"getwindowfocus"}, s_folder);
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
            if (!xdotool({"key", key}, s_folder)) {
                m_probe->end();
                ADD_FAILURE() << "xdotool could not press " << key;
                return -1;
            }
        }
        return answer();
    }

private:
    static std::string firstNumber(const std::string& output)
    {
        std::stringstream lines(output);
        for (std::string line; std::getline(lines, line);)
            if (!line.empty() && line.find_first_not_of("0123456789") == std::string::npos)
                return line;
        return {};
    }

    static inline std::filesystem::path s_folder;
    static inline std::unique_ptr<VirtualDisplay> s_display;
    static inline std::unique_ptr<Child> s_notificationCenter;
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
