#pragma once

#include <QV/GP/Point.h>
#include <QV/UIA/EventTarget.h>

#include <cstdint>

namespace QV::UIA {

// Decides when a press and a move become the start of a drag: a left press
// (not the second or third of a click) where a drag may start arms it, and
// a move of at least sqrt(8) pixels once the time-out has passed starts it.
//
// Thread affinity: main thread.
class DropSource
{
public:
    enum eTracking : int {
        kNotInvolved = 0,
        kTracking = 1,
        kStartDrag = 2,
    };

    DropSource() = default;
    virtual ~DropSource() = default;

    virtual bool canDragStart(const GP::Point& position) const = 0;
    // Milliseconds that must pass after the press before a move starts the
    // drag.
    virtual void setDragStartTimeout(unsigned int milliseconds) { m_dragStartTimeout = milliseconds; }

    // Feeds one mouse event (its code and record); see eTracking.
    int handleDropSourceMouseEvent(unsigned int code, EventData* data);

    bool isArmed() const noexcept { return m_armedAt != 0; }
    void setEnabled(bool enabled) noexcept { m_enabled = enabled; }
    bool isEnabled() const noexcept { return m_enabled; }

protected:
    // Milliseconds of the monotonic clock, truncated to 32 bits; tests
    // replace it.
    virtual std::uint32_t now() const;

private:
    GP::Point m_start;
    std::uint32_t m_armedAt = 0;
    std::uint32_t m_dragStartTimeout = 0;
    bool m_enabled = true;
};

} // namespace QV::UIA
