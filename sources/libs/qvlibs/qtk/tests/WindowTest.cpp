// The toolkit window over a fake platform window: its picture follows the
// window's size, the tick runs widget timers and hands repainted areas to
// the platform, and mouse events reach the widgets.
#include "FakeWindowImpl.h"
#include "ToolkitFixtures.h"

#include <QV/QTK/Window.h>
#include <QV/UIA/EventTimerManager.h>
#include <QV/UIA/Window.h>

#include <gtest/gtest.h>

namespace QV::QTK {
namespace {

using Testing::colourAt;
using Testing::Probe;

// Whether the platform tick runs: it runs while anything subscribes to it.
bool s_ticking = false;

class NoTick : public UIA::AbstractEventTimerManagerOsBridge
{
public:
    using AbstractEventTimerManagerOsBridge::AbstractEventTimerManagerOsBridge;
    void install(std::chrono::milliseconds) override { s_ticking = true; }
    void deinstall() override { s_ticking = false; }
};

class TestWindow : public Window<UIA::Window>
{
public:
    UIA::Testing::FakeWindowImpl* attachFake()
    {
        auto* impl = new UIA::Testing::FakeWindowImpl(*this);
        setImpl(impl);
        return impl;
    }
    int presents = 0;

protected:
    void present(UIA::PaintEventData&) override { ++presents; }
};

class ToolkitWindowTest : public Testing::ToolkitTest
{
protected:
    void SetUp() override
    {
        ToolkitTest::SetUp();
        impl = window.attachFake();
        impl->rect = {0, 0, 120, 90};
        UIA::EventData none;
        window.sendEvent(UIA::kEventWindowCreated, &none);
        root = std::make_shared<Probe>(0xFF303030u);
        ASSERT_TRUE(window.getPane().setRoot(root));
    }

    void tick() { manager.notifySubscribers(); }

    UIA::EventTimerManager manager{[](UIA::EventTimerManager& m) { return std::make_unique<NoTick>(m); }};
    TestWindow window;
    UIA::Testing::FakeWindowImpl* impl = nullptr;
    std::shared_ptr<Probe> root;
};

TEST_F(ToolkitWindowTest, ThePictureAndThePaneFollowTheWindowsSize)
{
    EXPECT_EQ(window.getPicture().getWidth(), 120);
    EXPECT_EQ(window.getPicture().getHeight(), 90);
    EXPECT_EQ(root->getBounds(), (GP::Rect{0, 0, 120, 90}));

    impl->rect = {0, 0, 200, 50};
    UIA::EventData none;
    window.sendEvent(UIA::kEventWindowSized, &none);
    EXPECT_EQ(window.getPicture().getWidth(), 200);
    EXPECT_EQ(window.getPane().getHeight(), 50);
    EXPECT_EQ(root->getBounds(), (GP::Rect{0, 0, 200, 50}));
}

TEST_F(ToolkitWindowTest, TheTickRunsTimersAndShowsWhatWasRepainted)
{
    tick();
    ASSERT_FALSE(impl->invalidated.empty()) << "the first tick paints everything";
    EXPECT_EQ(colourAt(window.getPicture(), 60, 45), 0xFF303030u);
    impl->invalidated.clear();

    auto a = std::make_shared<Probe>(0xFF00FF00u);
    a->setBounds({10, 10, 30, 20});
    root->addChild(a);
    a->startTimer(2, 9);
    tick();
    impl->invalidated.clear();
    tick();
    EXPECT_EQ(a->timers, (std::vector<int>{9}));

    a->colour = 0xFFFF0000u;
    a->invalidate();
    tick();
    ASSERT_EQ(impl->invalidated.size(), 1u);
    EXPECT_EQ(impl->invalidated[0], (GP::Rect{10, 10, 30, 20}));
    EXPECT_EQ(colourAt(window.getPicture(), 15, 15), 0xFFFF0000u);

    // A paint request shows the picture; nothing is pending afterwards.
    UIA::PaintEventData paint;
    EXPECT_TRUE(window.sendEvent(UIA::kEventPaint, &paint));
    EXPECT_EQ(window.presents, 1);
    impl->invalidated.clear();
    tick();
    EXPECT_TRUE(impl->invalidated.empty());
}

TEST_F(ToolkitWindowTest, AnIdleWindowLeavesTheTickUntilItsPaneHasWorkAgain)
{
    ASSERT_TRUE(s_ticking) << "the first paint waits for a tick";
    tick();
    EXPECT_FALSE(s_ticking) << "nothing waits: no wake-ups for an idle window";

    root->colour = 0xFF0000FFu;
    root->invalidate();
    ASSERT_TRUE(s_ticking);
    impl->invalidated.clear();
    tick();
    EXPECT_EQ(colourAt(window.getPicture(), 60, 45), 0xFF0000FFu);
    EXPECT_FALSE(impl->invalidated.empty());
    EXPECT_FALSE(s_ticking);

    // A timer keeps the tick until it has run, also when it starts another.
    root->repeatEvery = 1;
    root->onTimerDo = [&] {
        if (root->timers.size() == 2)
            root->repeatEvery = 0;
    };
    root->startTimer(1, 4);
    ASSERT_TRUE(s_ticking);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(s_ticking);
        tick();
    }
    EXPECT_EQ(root->timers, (std::vector<int>{4, 4, 4}));
    EXPECT_FALSE(s_ticking);

    // A window that is gone does not take the tick again.
    UIA::EventData none;
    window.sendEvent(UIA::kEventWindowDestroyed, &none);
    root->invalidate();
    EXPECT_FALSE(s_ticking);
}

TEST_F(ToolkitWindowTest, LeftClicksReachTheWidgetUnderTheMouse)
{
    auto a = std::make_shared<Probe>(0xFF00FF00u, true);
    a->setBounds({10, 10, 50, 40});
    root->addChild(a);

    UIA::MouseButtonEventData press;
    press.position = {20, 20};
    press.button = UIA::kMouseButtonLeft;
    press.state = UIA::kMouseButtonPressed;
    UIA::MouseButtonEventData release = press;
    release.state = UIA::kMouseButtonReleased;

    press.button = release.button = UIA::kMouseButtonRight;
    window.sendEvent(UIA::kEventMouseButton, &press);
    window.sendEvent(UIA::kEventMouseButton, &release);
    EXPECT_TRUE(a->clicks.empty()) << "the right button clicks nothing";

    press.button = release.button = UIA::kMouseButtonLeft;
    EXPECT_TRUE(window.sendEvent(UIA::kEventMouseButton, &press));
    EXPECT_TRUE(a->isPressed());
    EXPECT_TRUE(window.sendEvent(UIA::kEventMouseButton, &release));
    EXPECT_EQ(a->clicks, (std::vector<GP::Point>{{10, 10}}));

    UIA::MouseEventData move;
    move.position = {25, 25};
    window.sendEvent(UIA::kEventMouseMove, &move);
    EXPECT_TRUE(a->isHovered());
    window.sendEvent(UIA::kEventMouseLeave, &move);
    EXPECT_FALSE(a->isHovered());
}

} // namespace
} // namespace QV::QTK
