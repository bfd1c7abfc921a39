#include <QV/GP/Application.h>
#include <QV/GP/Assertion.h>
#include <QV/GP/DebugTrace.h>
#include <QV/GP/Message.h>

#include "Common/MessageAlert.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

using QV::GP::Assertion;
using QV::GP::CharSequence;
using QV::GP::DebugTrace;
using QV::GP::Message;

// Installed in the child of a death test: prints what the message box would
// have shown, with its line ends spelled out, so that the parent can match it.
Message::eButton printMessage(const CharSequence<char>& text, Message::eType type, Message::eButton defaultButton,
                              Message::eIcon icon, const char* title)
{
    std::string shown(text.data(), text.length());
    for (std::size_t at; (at = shown.find('\n')) != std::string::npos;)
        shown.replace(at, 1, "/");
    std::fprintf(stderr, "box[%s] type %d default %d icon %d title %s\n", shown.c_str(), type, defaultButton, icon,
                 title ? title : "null");
    return Message::eButtonOK;
}

// DoFail never returns; after showing the failure it ends the process with 1.
TEST(AssertionDeathTest, ShowsTheFailureAndEndsTheProcess)
{
    auto fail = [](const char* file, const char* message) {
        Message::s_showMessageFunctor = printMessage;
        Assertion::DoFail(file, 12, message);
    };
    EXPECT_EXIT(fail("a.cpp", "boom"), testing::ExitedWithCode(1),
                "box\\[Error a\\.cpp:12//boom\\] type 0 default 7 icon 0 title null");
    // A message that is too long or not ASCII is left out, as is such a file.
    EXPECT_EXIT(fail("a.cpp", std::string(1024, 'm').c_str()), testing::ExitedWithCode(1),
                "box\\[Error a\\.cpp:12\\]");
    // The text shown is cut to 1023 bytes.
    EXPECT_EXIT(fail("a.cpp", std::string(1023, 'm').c_str()), testing::ExitedWithCode(1),
                "box\\[Error a\\.cpp:12//m{1007}\\]");
    EXPECT_EXIT(fail("caf\xc3\xa9.cpp", "caf\xc3\xa9"), testing::ExitedWithCode(1), "box\\[Error <unknown>:12\\]");
}

void preHandler(const char* file, int line, const char*)
{
    std::fprintf(stderr, "pre %s:%d\n", file, line);
}

void terminationHandler(const char*, int, const char*)
{
    std::fprintf(stderr, "termination\n");
}

TEST(AssertionDeathTest, HandlersRunAroundTheBox)
{
    auto fail = [] {
        Message::s_showMessageFunctor = printMessage;
        Assertion::setPreAssertionHandler(preHandler);
        Assertion::setTerminationHandler(terminationHandler);
        Assertion::DoFail("b.cpp", 7, nullptr);
    };
    EXPECT_EXIT(fail(), testing::ExitedWithCode(1), "pre b\\.cpp:7\nbox\\[Error b\\.cpp:7\\][^\n]*\ntermination");
}

// A failure inside the report of another must not go round the reporting
// machinery again (it would recurse without end): it is written out and the
// process ends.
TEST(AssertionDeathTest, AFailureWhileReportingEndsTheProcess)
{
    auto fail = [] {
        Message::s_showMessageFunctor = [](const CharSequence<char>&, Message::eType, Message::eButton,
                                           Message::eIcon, const char*) {
            Assertion::DoFail("box.cpp", 99, "nested");
            return Message::eButtonOK;
        };
        Assertion::DoFail("a.cpp", 1, "first");
    };
    EXPECT_EXIT(fail(), testing::ExitedWithCode(1), "Error box\\.cpp:99\n\nnested");
}

TEST(Assertion, ThrowsWhenAskedAndEachExceptionKeepsItsText)
{
    Assertion::setThrowException(true);
    auto thrown = [](const char* file, int line, const char* message) {
        try {
            Assertion::DoFail(file, line, message);
        } catch (const Assertion::exception& e) {
            return e;
        }
        ADD_FAILURE() << "nothing thrown";
        return Assertion::exception(nullptr, 0, nullptr);
    };
    std::string message = "boom";
    const Assertion::exception first = thrown("a.cpp", 12, message.c_str());
    message = "changed";
    const Assertion::exception second = thrown("b.cpp", 3, nullptr);
    const Assertion::exception third = thrown("c.cpp", 4, "\xff");
    const Assertion::exception longest = thrown("d.cpp", 5, std::string(1023, 'x').c_str());
    Assertion::setThrowException(false);

    EXPECT_STREQ(first.what(), "Assertion in a.cpp:12 boom");
    EXPECT_STREQ(first.getMessage(), "boom");
    EXPECT_STREQ(first.getFile(), "a.cpp");
    EXPECT_EQ(first.getLine(), 12);
    EXPECT_STREQ(second.what(), "Assertion in b.cpp:3");
    EXPECT_EQ(second.getMessage(), nullptr);
    EXPECT_STREQ(third.what(), "Assertion in c.cpp:4");
    EXPECT_EQ(std::string(longest.what()).size(), 1023u);

    Assertion::setSilent(true);
    EXPECT_TRUE(Assertion::isSilent());
    Assertion::setSilent(false);
}

class DebugTraceTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        DebugTrace::setMode(DebugTrace::eModeOff);
        DebugTrace::clearGroupFilter();
        DebugTrace::setTraceFile(nullptr);
    }

    static std::string printed(const char* group, const CharSequence<char>& text)
    {
        testing::internal::CaptureStderr();
        DebugTrace::printLine(group, text);
        return testing::internal::GetCapturedStderr();
    }
};

TEST_F(DebugTraceTest, GroupsAreFilteredByMode)
{
    EXPECT_FALSE(DebugTrace::isGroupEnabled("net"));
    EXPECT_TRUE(DebugTrace::isGroupEnabled("+net"));
    EXPECT_TRUE(DebugTrace::isGroupEnabled(""));
    EXPECT_TRUE(DebugTrace::isGroupEnabled(nullptr));

    DebugTrace::setMode(DebugTrace::eModeFilterMarked);
    EXPECT_TRUE(DebugTrace::isGroupEnabled("net"));
    EXPECT_FALSE(DebugTrace::isGroupEnabled("-net"));

    DebugTrace::addGroup("usb");
    DebugTrace::addGroup("");
    EXPECT_TRUE(DebugTrace::isGroupEnabled("-usb.dfu"));
    DebugTrace::setMode(DebugTrace::eModeFilter);
    EXPECT_TRUE(DebugTrace::isGroupEnabled("usb"));
    EXPECT_TRUE(DebugTrace::isGroupEnabled("-usb"));
    EXPECT_FALSE(DebugTrace::isGroupEnabled("usbhub"));
    EXPECT_FALSE(DebugTrace::isGroupEnabled("net"));
    DebugTrace::clearGroupFilter();
    EXPECT_FALSE(DebugTrace::isGroupEnabled("usb"));
}

TEST_F(DebugTraceTest, LinesCarryTheGroupAndTheWholeView)
{
    EXPECT_EQ(printed("+net", std::string("x")), "net: x\n");
    EXPECT_EQ(printed("", std::string("plain")), "plain\n");
    EXPECT_EQ(printed(nullptr, std::string("plain")), "plain\n");
    EXPECT_EQ(printed("+", std::string("plain")), "plain\n");
    EXPECT_EQ(printed("net", std::string("hidden")), "");
    // The view's length decides, not a NUL: the view may hold one and need not
    // end in one.
    EXPECT_EQ(printed("+g", CharSequence<char>("a\0b-and-more", 3)), std::string("g: a\0b\n", 7));

    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    const int descriptor = dup(fileno(file));
    DebugTrace::setTraceFile(file);
    EXPECT_EQ(printed("+g", std::string("to the file")), "");
    QV::GP::fcloseall();
    EXPECT_EQ(printed("+g", std::string("back")), "g: back\n");
    char buffer[64] = {};
    EXPECT_EQ(pread(descriptor, buffer, sizeof buffer - 1, 0), 15);
    EXPECT_STREQ(buffer, "g: to the file\n");
    close(descriptor);
}

TEST(MessageBox, ButtonSetsStylesAndDefaults)
{
    using QV::GP::DETAIL::alertButtons;
    auto titles = [](Message::eType type) {
        std::string all;
        for (const auto& button : alertButtons(type))
            all += button.title + "=" + std::to_string(button.tag) + " ";
        return all;
    };
    EXPECT_EQ(titles(Message::eTypeOK), "OK=0 ");
    EXPECT_EQ(titles(Message::eTypeOKCancel), "OK=0 Cancel=1 ");
    EXPECT_EQ(titles(Message::eTypeYesNo), "Yes=2 No=3 ");
    EXPECT_EQ(titles(Message::eTypeYesNoCancel), "Yes=2 No=3 Cancel=1 ");
    EXPECT_EQ(titles(Message::eTypeRetryCancel), "Retry=5 Cancel=1 ");
    EXPECT_EQ(titles(Message::eTypeAbortRetryIgnore), "Abort=4 Retry=5 Ignore=6 ");
    EXPECT_EQ(titles(static_cast<Message::eType>(6)), "");

    const int styles[] = {1, 2, 0, 1, 1, -1};
    for (int icon = 0; icon < 6; ++icon)
        EXPECT_EQ(QV::GP::DETAIL::alertStyle(static_cast<Message::eIcon>(icon)), styles[icon]) << icon;

    using QV::GP::DETAIL::defaultButtonIndex;
    EXPECT_EQ(defaultButtonIndex(alertButtons(Message::eTypeYesNo), Message::eButtonNo), 1);
    // No button of the set carries Cancel: the box has no default button.
    EXPECT_EQ(defaultButtonIndex(alertButtons(Message::eTypeYesNo), Message::eButtonCancel), -1);
    EXPECT_EQ(defaultButtonIndex(alertButtons(Message::eTypeOK), Message::eButtonNone), -1);
}

// Where nobody can answer, the question goes to the error stream and the
// caller's default is the answer; it must neither block nor need a display.
TEST(MessageBox, WithoutADisplayOrOffTheMainThreadTheDefaultAnswers)
{
    ASSERT_FALSE(Message::s_showMessageFunctor);
    const std::string title = std::string(QV::GP::Application::getName()) + ": ";
    auto ask = [] {
        return Message::show(std::string("Quit during the update?"), Message::eTypeYesNo, Message::eButtonNo,
                             Message::eIconQuestion, nullptr);
    };

    unsetenv("DISPLAY");
    testing::internal::CaptureStderr();
    EXPECT_EQ(ask(), Message::eButtonNo);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), title + "Quit during the update?\n");

    // With a display named, a worker thread still must not open a box.
    setenv("DISPLAY", ":4242", 1);
    testing::internal::CaptureStderr();
    Message::eButton answer = Message::eButtonOK;
    std::thread([&] { answer = ask(); }).join();
    EXPECT_EQ(answer, Message::eButtonNo);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), title + "Quit during the update?\n");

    // A type without a button set shows nothing anywhere.
    testing::internal::CaptureStderr();
    EXPECT_EQ(Message::show(std::string("x"), static_cast<Message::eType>(6), Message::eButtonRetry,
                            Message::eIconWarning, "t"),
              Message::eButtonRetry);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    unsetenv("DISPLAY");
}

TEST(MessageBox, AHostFunctionReceivesEveryCall)
{
    std::string seen;
    Message::s_showMessageFunctor = [&seen](const CharSequence<char>& text, Message::eType type,
                                            Message::eButton defaultButton, Message::eIcon icon, const char* title) {
        seen = std::string(text.data(), text.length()) + "|" + std::to_string(type) + "|" +
               std::to_string(defaultButton) + "|" + std::to_string(icon) + "|" + (title ? title : "null");
        return Message::eButtonRetry;
    };
    EXPECT_EQ(Message::show(std::string("text"), static_cast<Message::eType>(9), Message::eButtonNo,
                            Message::eIconWarning, nullptr),
              Message::eButtonRetry);
    Message::s_showMessageFunctor = nullptr;
    EXPECT_EQ(seen, "text|9|3|2|null");
}

} // namespace
