#include "MouseInput.h"

#include <QV/UIA/DETAIL/WindowImpl.h>
#include <QV/UIA/DragDropManager.h>

#include <cmath>

namespace QV::UIA::DETAIL {

namespace {

std::int32_t truncated(double value)
{
    if (!std::isfinite(value))
        return 0;
    const double t = std::trunc(value);
    if (t > 2147483647.0)
        return 2147483647;
    if (t < -2147483648.0)
        return -2147483647 - 1;
    return static_cast<std::int32_t>(t);
}

} // namespace

std::uint32_t MouseInput::buttonFor(std::uint32_t platformButton) noexcept
{
    switch (platformButton) {
    case 0:
        return kMouseButtonLeft;
    case 1:
        return kMouseButtonRight;
    case 2:
        return kMouseButtonMiddle;
    default:
        return 0;
    }
}

bool MouseInput::handle(const MouseSample& sample)
{
    MouseEventData base;
    base.position = {truncated(sample.x), truncated(sample.y)};
    base.modifiers = sample.modifiers;
    if (sample.kind != MouseSample::kEnter && sample.kind != MouseSample::kExit && sample.kind != MouseSample::kWheel)
        DragDropManager::noteMouseOutsideDrag();
    switch (sample.kind) {
    case MouseSample::kPress:
        return press(sample, base);
    case MouseSample::kRelease:
        return release(sample, base);
    case MouseSample::kMove:
    case MouseSample::kDrag:
        return motion(sample, base);
    case MouseSample::kEnter:
    case MouseSample::kExit: {
        // The window follows a drag through the drag events; an enter or a
        // leave meanwhile would report a hover that is not there.
        if (DragDropManager::isAnyDragRunning())
            return false;
        MouseEventData data = base;
        return m_target.sendEvent(sample.kind == MouseSample::kEnter ? kEventMouseEnter : kEventMouseLeave, &data,
                                  false);
    }
    case MouseSample::kWheel:
        return wheel(sample, base);
    }
    return false;
}

bool MouseInput::press(const MouseSample& sample, MouseEventData base)
{
    std::uint32_t button = buttonFor(sample.platformButton);
    if (!button)
        return false;
    std::uint32_t state = kMouseButtonPressed;
    if (m_lastButtonDown == button)
        state = (sample.clickCount % 2 == 0) ? kMouseButtonDoublePressed : kMouseButtonPressed;
    m_lastButtonDown = static_cast<eMouseButton>(button);

    // Control with the left button stands for the right button, as on a
    // one-button mouse.
    bool controlTaken = false;
    if (button == kMouseButtonLeft && (base.modifiers & kModifierControl)) {
        button = kMouseButtonRight;
        base.modifiers &= ~std::uint32_t(kModifierControl);
        controlTaken = true;
    }
    m_pressed[sample.platformButton] = {button, controlTaken};

    MouseButtonEventData data;
    static_cast<MouseEventData&>(data) = base;
    data.button = button;
    data.state = state;
    data.madeAt = sample.madeAt;
    return m_target.sendEvent(kEventMouseButton, &data, false);
}

bool MouseInput::release(const MouseSample& sample, MouseEventData base)
{
    std::uint32_t button = buttonFor(sample.platformButton);
    if (!button)
        return false;
    // The release goes to the button its press was reported on: a Control
    // key pressed or let go while the button was held must not turn a
    // right-click press into a left release, or the other way round, which
    // would leave the receiver with a button that never comes up.
    Pressed& pressed = m_pressed[sample.platformButton];
    if (pressed.button) {
        button = pressed.button;
        if (pressed.controlTaken)
            base.modifiers &= ~std::uint32_t(kModifierControl);
    } else if (button == kMouseButtonLeft && (base.modifiers & kModifierControl)) {
        button = kMouseButtonRight;
        base.modifiers &= ~std::uint32_t(kModifierControl);
    }
    pressed = {};

    MouseButtonEventData data;
    static_cast<MouseEventData&>(data) = base;
    data.button = button;
    data.state = kMouseButtonReleased;
    return m_target.sendEvent(kEventMouseButton, &data, false);
}

bool MouseInput::motion(const MouseSample& sample, const MouseEventData& base)
{
    if (m_relative) {
        MouseRelativeMoveEventData relative;
        static_cast<MouseEventData&>(relative) = base;
        relative.dx = static_cast<double>(truncated(sample.deltaX));
        relative.dy = static_cast<double>(truncated(sample.deltaY));
        m_target.sendEvent(kEventMouseMoveRelative, &relative, false);
    }
    MouseEventData data = base;
    return m_target.sendEvent(sample.kind == MouseSample::kDrag ? kEventMouseDrag : kEventMouseMove, &data, false);
}

bool MouseInput::wheel(const MouseSample& sample, const MouseEventData& base)
{
    // Horizontal first; a delta below one step is still sent, as 0.
    if (sample.deltaX != 0) {
        MouseWheelEventData data;
        static_cast<MouseEventData&>(data) = base;
        data.delta = truncated(sample.deltaX);
        data.axis = 0;
        m_target.sendEvent(kEventMouseWheel, &data, false);
    }
    if (sample.deltaY != 0) {
        MouseWheelEventData data;
        static_cast<MouseEventData&>(data) = base;
        data.delta = truncated(sample.deltaY);
        data.axis = 1;
        m_target.sendEvent(kEventMouseWheel, &data, false);
    }
    return true;
}

} // namespace QV::UIA::DETAIL
