#include <QV/GP/Timer.h>
#include <QV/UIA/DropSource.h>
#include <QV/UIA/EventCode.h>
#include <QV/UIA/EventData.h>

namespace QV::UIA {

std::uint32_t DropSource::now() const
{
    return static_cast<std::uint32_t>(GP::Timer::convertTicksToMS(GP::Timer::getCurrentTicks()));
}

int DropSource::handleDropSourceMouseEvent(unsigned int code, EventData* data)
{
    if (code < kEventMouseButton || code > 1099 || data == nullptr)
        return kNotInvolved;
    switch (code) {
    case kEventMouseButton: {
        const auto& button = *static_cast<const MouseButtonEventData*>(data);
        // Only a plain press arms: a release, or the press that completes a
        // double click, must not, and neither may a state this layer never
        // sends.
        if (m_enabled && button.button == kMouseButtonLeft && button.state == kMouseButtonPressed
            && canDragStart(button.position)) {
            // 0 means "not armed", so a clock that reads 0 arms at 1.
            const std::uint32_t at = now();
            m_armedAt = at != 0 ? at : 1;
            m_start = button.position;
            return kTracking;
        }
        m_armedAt = 0;
        return kNotInvolved;
    }
    case kEventMouseDrag:
    case kEventMouseMove: {
        if (m_armedAt == 0)
            return kNotInvolved;
        const auto& motion = *static_cast<const MouseEventData*>(data);
        const std::int64_t dx = std::int64_t(m_start.x) - motion.position.x;
        const std::int64_t dy = std::int64_t(m_start.y) - motion.position.y;
        if (dx * dx + dy * dy >= 8 && std::uint32_t(now() - m_armedAt) >= m_dragStartTimeout) {
            m_armedAt = 0;
            return kStartDrag;
        }
        return kTracking;
    }
    case kEventMouseLeave:
        m_armedAt = 0;
        return kNotInvolved;
    default:
        return kNotInvolved;
    }
}

} // namespace QV::UIA
