#pragma once

#include <QV/UIA/EventTimerManager.h>

namespace QV::UIA {

// The tick as a run-loop timer of the main thread. Each tick schedules the
// next one-shot timer before the subscribers run, so a slow handler does not
// shift the tick. The timer is added to the default, modal-panel and
// event-tracking modes: GNUstep never fires a timer added to the common
// modes, and the tick must go on while a modal panel or a drag runs.
class EventTimerManagerMacosBridge : public AbstractEventTimerManagerOsBridge
{
public:
    explicit EventTimerManagerMacosBridge(EventTimerManager& manager) noexcept;
    ~EventTimerManagerMacosBridge() override;

    void install(std::chrono::milliseconds tick) override;
    void deinstall() override;

private:
    void* m_timerObject = nullptr; // a ComVelmoraCocoaNSTimerCallback, or nil
};

} // namespace QV::UIA
