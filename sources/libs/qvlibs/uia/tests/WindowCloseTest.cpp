// The close path of a platform window implementation without a display:
// the destroyed notice comes once per window whatever its handlers do:
// destroy the window again, close another window, or delete the window
// object; and an application whose main window goes that way keeps no
// pointer to it.
#include "Cocoa/WindowImplBase.h"
#include "FakeWindowImpl.h"
#include "TestApplication.h"

#include <QV/UIA/EventData.h>
#include <QV/UIA/Window.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using namespace QV::UIA;
using COCOA::WindowImplBase;

std::vector<std::string> g_seen;

class TestWindow : public Window
{
public:
    explicit TestWindow(std::string name) : m_name(std::move(name)) {}
    WindowImplBase* attach()
    {
        auto* impl = new WindowImplBase(*this);
        setImpl(impl);
        return impl;
    }
    bool onEvent(unsigned code, EventData* data) override
    {
        if (code == kEventWindowDestroyed) {
            g_seen.push_back(m_name + " destroyed");
            if (onDestroyed)
                onDestroyed();
            return true;
        }
        return Window::onEvent(code, data);
    }
    std::function<void()> onDestroyed;

private:
    std::string m_name;
};

class WindowCloseTest : public ::testing::Test
{
protected:
    void SetUp() override { g_seen.clear(); }
};

TEST_F(WindowCloseTest, APlatformCloseIsReportedOnceEvenWhenTheHandlerDestroysAgain)
{
    TestWindow window("a");
    WindowImplBase* impl = window.attach();
    window.onDestroyed = [&] { window.destroy(); };
    impl->onPlatformClose();
    EXPECT_EQ(g_seen, std::vector<std::string>{"a destroyed"});
    EXPECT_FALSE(window.hasImpl());

    // The layer's own destroy, with the same re-entry.
    TestWindow other("b");
    other.attach();
    other.onDestroyed = [&] { other.destroy(); };
    other.destroy();
    EXPECT_EQ(g_seen, (std::vector<std::string>{"a destroyed", "b destroyed"}));
    EXPECT_FALSE(other.hasImpl());
}

TEST_F(WindowCloseTest, AHandlerThatClosesAnotherWindowDoesNotSilenceIt)
{
    TestWindow first("first");
    TestWindow second("second");
    WindowImplBase* firstImpl = first.attach();
    WindowImplBase* secondImpl = second.attach();
    first.onDestroyed = [&] { secondImpl->onPlatformClose(); };
    firstImpl->onPlatformClose();
    EXPECT_EQ(g_seen, (std::vector<std::string>{"first destroyed", "second destroyed"}));
    EXPECT_FALSE(first.hasImpl());
    EXPECT_FALSE(second.hasImpl());
}

TEST_F(WindowCloseTest, AHandlerMayDeleteTheWindowObject)
{
    auto* window = new TestWindow("gone");
    WindowImplBase* impl = window->attach();
    window->onDestroyed = [&] { delete window; };
    impl->onPlatformClose();
    EXPECT_EQ(g_seen, std::vector<std::string>{"gone destroyed"});

    // An auto-deleting window goes with its implementation.
    auto* automatic = new TestWindow("auto");
    automatic->setAutoDelete(true);
    automatic->attach()->onPlatformClose();
    EXPECT_EQ(g_seen, (std::vector<std::string>{"gone destroyed", "auto destroyed"}));
}

// The user closes an auto-deleting main window: the window object goes with
// its native window, and the next command must not be sent to it.
TEST_F(WindowCloseTest, AClosedAutoDeletingMainWindowIsNoLongerTheCommandTarget)
{
    Testing::TestModule module;
    auto* application = new Testing::TestApplication;
    ASSERT_TRUE(module.attachApplication(application));
    auto* window = new Testing::FakeStandaloneWindow;
    window->setAutoDelete(true);
    WindowImplBase* impl = window->attachFake<WindowImplBase>();
    CloseRequestEventData close;
    EXPECT_TRUE(impl->sendEvent(kEventCloseRequest, &close, false));
    ASSERT_TRUE(close.allow);
    impl->onPlatformClose();
    EXPECT_EQ(application->getMainWindow(), nullptr);
    EXPECT_TRUE(Application::getWindows().empty());
    EXPECT_EQ(application->terminates, 1);

    CommandEventData command;
    command.commandId = kCommandAbout;
    EXPECT_FALSE(application->sendEvent(kEventCommand, &command));
    EXPECT_EQ(application->received.back(), kEventCommand) << "the application answers it alone";
}

TEST_F(WindowCloseTest, AModalDialogOnlyLetsGoOfItsView)
{
    TestWindow window("dialog");
    WindowImplBase* impl = window.attach();
    impl->setModalDialog(true);
    impl->onPlatformClose();
    EXPECT_TRUE(g_seen.empty());
    EXPECT_TRUE(window.hasImpl()) << "the modal loop's owner takes it down";
}

TEST_F(WindowCloseTest, WithoutNativeWindowOperationsAnswerNeutrally)
{
    TestWindow window("bare");
    WindowImplBase* impl = window.attach();
    EXPECT_FALSE(impl->isVisible());
    EXPECT_TRUE(impl->isNormalSize());
    EXPECT_FALSE(impl->isMinimized());
    EXPECT_EQ(impl->getSize(true), (QV::GP::Point{0, 0}));
    QV::GP::Point point{3, 4};
    impl->toScreen(point);
    EXPECT_EQ(point, (QV::GP::Point{3, 4}));
    WindowState state;
    state.kind = 99;
    impl->getState(state);
    EXPECT_EQ(state.kind, 99u) << "nothing is written without a window";
    EXPECT_EQ(impl->getBackingScaleFactor(), 1.0f);
    EXPECT_TRUE(impl->releaseKeyFocus());
}

} // namespace
