#pragma once

#include <QV/UIA/EventData.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>

namespace QV::UIA::DETAIL {

class WindowImpl;

// One platform mouse event, as the view takes it apart: what happened, the
// platform's button number (0 left, 1 right, 2 middle) and click count, the
// modifier bits, the location in the view's top-down coordinates and the
// wheel or motion deltas.
struct MouseSample {
    enum eKind : std::uint32_t { kPress, kRelease, kMove, kDrag, kEnter, kExit, kWheel };

    eKind kind = kMove;
    std::uint32_t platformButton = 0;
    long clickCount = 1;
    std::uint32_t modifiers = 0;
    double x = 0;
    double y = 0;
    double deltaX = 0;
    double deltaY = 0;
    // When a press was made; none where the platform cannot tell.
    std::optional<std::chrono::steady_clock::time_point> madeAt;
};

// Turns the mouse events of one window's view into the layer's mouse events
// and sends them to the window (not forwarded to the application). It keeps
// what a window must remember between events: the last pressed button, for
// telling double clicks apart; whether relative motion is on; and the button
// each press was reported as, so that its release is reported on the same
// button even when Control changed in between.
//
// Thread affinity: main thread.
class MouseInput
{
public:
    explicit MouseInput(WindowImpl& target) noexcept : m_target(target) {}

    // Sends the sample's events; the handled flag of the deciding event.
    // False for buttons the layer does not know (they go back to the
    // platform untouched).
    bool handle(const MouseSample& sample);

    eMouseButton getLastMouseButtonDown() const noexcept { return m_lastButtonDown; }
    void setLastMouseButtonDown(eMouseButton button) noexcept { m_lastButtonDown = button; }
    bool isRelativeMotion() const noexcept { return m_relative; }
    void setRelativeMotion(bool on) noexcept { m_relative = on; }

    // The layer's button for a platform button number; 0 for none.
    static std::uint32_t buttonFor(std::uint32_t platformButton) noexcept;

private:
    bool press(const MouseSample& sample, MouseEventData base);
    bool release(const MouseSample& sample, MouseEventData base);
    bool motion(const MouseSample& sample, const MouseEventData& base);
    bool wheel(const MouseSample& sample, const MouseEventData& base);

    struct Pressed {
        std::uint32_t button = 0; // as reported; 0 when no press is open
        bool controlTaken = false;
    };

    WindowImpl& m_target;
    eMouseButton m_lastButtonDown = eMouseButton(0);
    bool m_relative = false;
    std::array<Pressed, 3> m_pressed{};
};

} // namespace QV::UIA::DETAIL
