// The mouse state machine on recorded event sequences: click counts and
// double clicks per button, Control with the left button, releases reported
// on the button of their press, motion with and without relative mode, and
// the wheel's two axes, and enter and leave held back while a drag runs.
#include "../src/Common/MouseInput.h"
#include "FakeWindowImpl.h"

#include <QV/UIA/DragDropManager.h>
#include <QV/UIA/EventData.h>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

namespace {

using namespace QV::UIA;
namespace GP = QV::GP;
using DETAIL::MouseInput;
using DETAIL::MouseSample;

struct Seen {
    unsigned code = 0;
    GP::Point position;
    std::uint32_t modifiers = 0;
    std::uint32_t button = 0;
    std::uint32_t state = 0;
    std::int32_t delta = 0;
    std::uint32_t axis = 0;
    double dx = 0;
    double dy = 0;
};

class RecordingWindow : public StandaloneWindow
{
public:
    bool onEvent(unsigned code, EventData* data) override
    {
        Seen seen;
        seen.code = code;
        if (code >= kEventMouseButton && code <= kEventMouseMoveRelative) {
            auto* mouse = static_cast<MouseEventData*>(data);
            seen.position = mouse->position;
            seen.modifiers = mouse->modifiers;
        }
        if (code == kEventMouseButton) {
            seen.button = static_cast<MouseButtonEventData*>(data)->button;
            seen.state = static_cast<MouseButtonEventData*>(data)->state;
        } else if (code == kEventMouseWheel) {
            seen.delta = static_cast<MouseWheelEventData*>(data)->delta;
            seen.axis = static_cast<MouseWheelEventData*>(data)->axis;
        } else if (code == kEventMouseMoveRelative) {
            seen.dx = static_cast<MouseRelativeMoveEventData*>(data)->dx;
            seen.dy = static_cast<MouseRelativeMoveEventData*>(data)->dy;
        }
        events.push_back(seen);
        return handles;
    }
    Testing::FakeWindowImpl* attach()
    {
        auto* impl = new Testing::FakeWindowImpl(*this);
        setImpl(impl);
        return impl;
    }
    std::vector<Seen> events;
    bool handles = true;
};

class MouseInputTest : public ::testing::Test
{
protected:
    MouseInputTest() : impl(*window.attach()), mouse(impl) {}

    void press(std::uint32_t button, long clicks, std::uint32_t modifiers = 0)
    {
        mouse.handle(sample(MouseSample::kPress, button, clicks, modifiers));
    }
    void release(std::uint32_t button, std::uint32_t modifiers = 0)
    {
        mouse.handle(sample(MouseSample::kRelease, button, 1, modifiers));
    }
    static MouseSample sample(MouseSample::eKind kind, std::uint32_t button, long clicks, std::uint32_t modifiers)
    {
        MouseSample s;
        s.kind = kind;
        s.platformButton = button;
        s.clickCount = clicks;
        s.modifiers = modifiers;
        s.x = 12.9;
        s.y = 7.2;
        return s;
    }
    // (button, state) of each button event, in order.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> buttons() const
    {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> result;
        for (const Seen& seen : window.events)
            if (seen.code == kEventMouseButton)
                result.emplace_back(seen.button, seen.state);
        return result;
    }

    std::vector<unsigned> codes() const
    {
        std::vector<unsigned> result;
        for (const Seen& seen : window.events)
            result.push_back(seen.code);
        return result;
    }

    RecordingWindow window;
    Testing::FakeWindowImpl& impl;
    MouseInput mouse;
};

using Buttons = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

TEST_F(MouseInputTest, ClickCountsMakeDoubleClicksOnTheSameButtonOnly)
{
    // Four clicks of the left button: the even ones complete double clicks.
    for (long clicks = 1; clicks <= 4; ++clicks) {
        press(0, clicks);
        release(0);
    }
    EXPECT_EQ(buttons(), (Buttons{{1, 1}, {1, 2}, {1, 3}, {1, 2}, {1, 1}, {1, 2}, {1, 3}, {1, 2}}));
    EXPECT_EQ(window.events.front().position, (GP::Point{12, 7})) << "positions are truncated";

    // A right press with click count 2 after a left click is a first press.
    window.events.clear();
    press(1, 2);
    release(1);
    press(2, 1);
    release(2);
    EXPECT_EQ(buttons(), (Buttons{{2, 1}, {2, 2}, {4, 1}, {4, 2}}));
    EXPECT_EQ(mouse.getLastMouseButtonDown(), kMouseButtonMiddle);

    // Buttons beyond the middle one are not taken.
    EXPECT_FALSE(mouse.handle(sample(MouseSample::kPress, 3, 1, 0)));
    EXPECT_EQ(buttons().size(), 4u);
}

TEST_F(MouseInputTest, ControlWithTheLeftButtonIsTheRightButtonUntilItsRelease)
{
    press(0, 1, kModifierControl | kModifierShift);
    release(0, kModifierControl | kModifierShift);
    ASSERT_EQ(buttons(), (Buttons{{2, 1}, {2, 2}}));
    EXPECT_EQ(window.events[0].modifiers, std::uint32_t(kModifierShift)) << "Control is taken off";
    EXPECT_EQ(window.events[1].modifiers, std::uint32_t(kModifierShift));

    // Control let go while the button is held: the release still comes up
    // on the button that went down, and the other way round.
    window.events.clear();
    press(0, 1, kModifierControl);
    release(0, 0);
    press(0, 1, 0);
    release(0, kModifierControl);
    EXPECT_EQ(buttons(), (Buttons{{2, 1}, {2, 2}, {1, 1}, {1, 2}}));
    EXPECT_EQ(window.events[3].modifiers, std::uint32_t(kModifierControl));

    // A release without its press (the press went to another window)
    // follows Control as it is now.
    window.events.clear();
    release(0, kModifierControl);
    EXPECT_EQ(buttons(), (Buttons{{2, 2}}));
    EXPECT_EQ(window.events[0].modifiers, 0u);
}

TEST_F(MouseInputTest, MotionAndRelativeMotion)
{
    MouseSample move = sample(MouseSample::kMove, 0, 0, kModifierOption);
    move.deltaX = 3.7;
    move.deltaY = -2.2;
    EXPECT_TRUE(mouse.handle(move));
    mouse.setRelativeMotion(true);
    mouse.handle(move);
    MouseSample drag = move;
    drag.kind = MouseSample::kDrag;
    // Only the second event decides whether the motion was handled.
    window.handles = false;
    EXPECT_FALSE(mouse.handle(drag));

    // Locations beyond 32 bits or not numbers at all stay within range.
    MouseSample wild = sample(MouseSample::kMove, 0, 0, 0);
    wild.x = 1e12;
    wild.y = std::nan("");
    mouse.setRelativeMotion(false);
    mouse.handle(wild);
    EXPECT_EQ(window.events.back().position, (GP::Point{2147483647, 0}));
    window.events.pop_back();

    ASSERT_EQ(codes(), (std::vector<unsigned>{kEventMouseMove, kEventMouseMoveRelative, kEventMouseMove,
                                              kEventMouseMoveRelative, kEventMouseDrag}));
    EXPECT_EQ(window.events[1].dx, 3.0);
    EXPECT_EQ(window.events[1].dy, -2.0);
    EXPECT_EQ(window.events[4].modifiers, std::uint32_t(kModifierOption));
}

TEST_F(MouseInputTest, WheelSendsHorizontalThenVertical)
{
    MouseSample wheel = sample(MouseSample::kWheel, 0, 0, 0);
    wheel.deltaX = -1.5;
    wheel.deltaY = 0.4;
    window.handles = false;
    EXPECT_TRUE(mouse.handle(wheel)) << "the wheel never goes on to the platform";
    wheel.deltaX = 0;
    wheel.deltaY = 3;
    mouse.handle(wheel);
    // (axis, delta) of each event; a step below one is sent as 0.
    std::vector<std::pair<std::uint32_t, std::int32_t>> steps;
    for (const Seen& seen : window.events)
        steps.emplace_back(seen.axis, seen.delta);
    EXPECT_EQ(steps, (std::vector<std::pair<std::uint32_t, std::int32_t>>{{0, -1}, {1, 0}, {1, 3}}));

    // Enter and leave carry position and modifiers.
    window.events.clear();
    mouse.handle(sample(MouseSample::kEnter, 0, 0, kModifierShift));
    mouse.handle(sample(MouseSample::kExit, 0, 0, 0));
    ASSERT_EQ(codes(), (std::vector<unsigned>{kEventMouseEnter, kEventMouseLeave}));
    EXPECT_EQ(window.events[0].modifiers, std::uint32_t(kModifierShift));
}

// While a drag is over the windows the pointer is the drag's: from its first
// request to its drop or its leave, or until a button or motion event shows
// that the pointer is free again (an end that was never reported).
TEST_F(MouseInputTest, EnterAndLeaveAreHeldBackWhileADragIsOverTheWindows)
{
    DragDropManager::reset();
    DragDropRequestEventData request;
    DragDropReceiveEventData drop;
    DragDropLeavedEventData leave;
    const auto enter = [&] { DragDropManager::handleDragRequestEvent(nullptr, &request, nullptr); };
    const struct {
        const char* step;
        std::function<void()> act;
        bool reported;
    } rows[] = {
        {"no drag", [] {}, true},
        {"a drag entered", enter, false},
        {"it was dropped", [&] { DragDropManager::handleDragReceiveEvent(&drop); }, true},
        {"another entered", enter, false},
        {"it left", [&] { DragDropManager::handleDragLeavedEvent(&leave); }, true},
        {"one more entered", enter, false},
        {"a motion came", [&] { mouse.handle(sample(MouseSample::kMove, 0, 0, 0)); }, true},
    };
    for (const auto& row : rows) {
        row.act();
        window.events.clear();
        mouse.handle(sample(MouseSample::kEnter, 0, 0, 0));
        mouse.handle(sample(MouseSample::kExit, 0, 0, 0));
        const auto expected = row.reported ? std::vector<unsigned>{kEventMouseEnter, kEventMouseLeave}
                                           : std::vector<unsigned>{};
        EXPECT_EQ(codes(), expected) << row.step;
    }
    DragDropManager::reset();
}

} // namespace
