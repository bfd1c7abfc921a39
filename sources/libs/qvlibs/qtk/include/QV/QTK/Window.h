#pragma once

#include <QV/GP/Region.h>
#include <QV/QTK/Pane.h>
#include <QV/UIA/AsyncEventTarget.h>
#include <QV/UIA/DeviceContext.h>
#include <QV/UIA/EventCode.h>
#include <QV/UIA/EventData.h>
#include <QV/UIA/EventTimerManager.h>
#include <QV/UIA/Picture.h>

#include <chrono>
#include <thread>

namespace QV::QTK {

// The event by which another thread's repaint request wakes a window's
// ticks on the main thread; the toolkit's own code.
inline constexpr unsigned kEventWakeTicks = 30000;

// A top-level window of the platform layer (Base: a UIA window class) that
// hosts a pane. The pane paints into the window's 32-bit picture, which
// always has the window's content size; the window's mouse events go to the
// pane, and its 40 ms tick drives the widget timers and picks up
// invalidation requests, which may come from any thread: what became
// invalid is repainted into the picture on the tick and the platform is
// asked to show that area. The window subscribes to the tick only while
// the pane has a timer or a repaint waiting, so that an idle window costs
// no wake-ups; the pane's first request after an idle spell subscribes it
// again (a request from another thread through the asynchronous path). The
// pane learns when each picture reached the screen, so that a press made
// before a widget was shown as it is now is not taken.
//
// Thread affinity: main thread.
template <class Base>
class Window : public Base
{
public:
    Window()
    {
        m_wakeHandle = UIA::AsyncEventTargetImpl::registerTarget(this);
        m_pane.setWakeHandler([this] { wake(); });
    }
    ~Window() override
    {
        // Widgets leaving the pane below must not wake a window that is gone.
        m_pane.setWakeHandler(nullptr);
        stopTicking();
        UIA::AsyncEventTargetImpl::unregisterTarget(m_wakeHandle);
    }

    Pane& getPane() noexcept { return m_pane; }
    const UIA::Picture& getPicture() const noexcept { return m_picture; }

    // Repaints what is invalid and hands the repainted area to the platform.
    void update()
    {
        fitToWindow();
        if (!m_pane.needsUpdate())
            return;
        GP::Region painted;
        if (!m_pane.paintInvalid(m_picture, painted))
            return;
        if (this->useOffscreenPictureInsteadOfPaintEvent()) {
            this->updateOffscreenPicture(m_picture);
            m_pane.noteShown(std::chrono::steady_clock::now());
        } else {
            this->invalidateRegion(painted);
        }
    }

    bool onEvent(unsigned code, UIA::EventData* data) override
    {
        switch (code) {
        case UIA::kEventWindowCreated:
            m_created = true;
            fitToWindow();
            startTicking();
            break;
        case UIA::kEventWindowSized:
        case UIA::kEventWindowShown:
            fitToWindow();
            break;
        case UIA::kEventWindowDestroyed:
            m_created = false;
            stopTicking();
            break;
        case kEventWakeTicks:
            startTicking();
            return true;
        case UIA::kEventPaint:
            if (data != nullptr) {
                fitToWindow();
                GP::Region painted;
                m_pane.paintInvalid(m_picture, painted);
                present(*static_cast<UIA::PaintEventData*>(data));
                m_pane.noteShown(std::chrono::steady_clock::now());
                return true;
            }
            break;
        case UIA::kEventTimer:
            if (data != nullptr && m_tick != nullptr && static_cast<UIA::TimerEventData*>(data)->timer == m_tick) {
                m_pane.tick();
                update();
                if (m_pane.isIdle())
                    stopTicking();
                return true;
            }
            break;
        case UIA::kEventMouseMove:
        case UIA::kEventMouseDrag:
        case UIA::kEventMouseEnter:
            if (data != nullptr)
                return m_pane.mouseMove(static_cast<UIA::MouseEventData*>(data)->position);
            break;
        case UIA::kEventMouseLeave:
            m_pane.mouseLeave();
            return true;
        case UIA::kEventMouseButton:
            if (data != nullptr)
                return onMouseButton(*static_cast<UIA::MouseButtonEventData*>(data));
            break;
        default:
            break;
        }
        return Base::onEvent(code, data);
    }

protected:
    // Draws the picture into the platform's context of the paint.
    virtual void present(UIA::PaintEventData& paint)
    {
        if (paint.deviceContext != nullptr)
            paint.deviceContext->updateFromPicture(m_picture, this->hasAlphaBlending());
    }

private:
    bool onMouseButton(const UIA::MouseButtonEventData& event)
    {
        // Widgets answer the main button only.
        if (event.button != UIA::kMouseButtonLeft)
            return false;
        if (event.state == UIA::kMouseButtonReleased)
            return m_pane.mouseUp(event.position);
        return m_pane.mouseDown(event.position, event.madeAt);
    }

    // The picture and the pane take the window's content size; a size the
    // picture cannot have leaves both as they were.
    void fitToWindow()
    {
        const GP::Point size = this->getSize(true);
        if (size.x == m_picture.getWidth() && size.y == m_picture.getHeight() && size.x == m_pane.getWidth() &&
            size.y == m_pane.getHeight())
            return;
        if (m_picture.setSize(size.x, size.y, true))
            m_pane.setSize(size.x, size.y);
    }

    // The pane has work: ticks are needed. Another thread only asks.
    void wake()
    {
        if (std::this_thread::get_id() == m_mainThread)
            startTicking();
        else
            UIA::AsyncEventTargetImpl::postEvent(kEventWakeTicks, m_wakeHandle);
    }

    void startTicking()
    {
        if (m_created && m_tick == nullptr)
            m_tick = this->setEventTimer(UIA::EventTimerManager::kTickMs, 0);
    }

    void stopTicking()
    {
        if (m_tick != nullptr)
            this->killEventTimer(m_tick);
        m_tick = nullptr;
    }

    Pane m_pane;
    UIA::Picture m_picture;
    UIA::HEventTimer m_tick = nullptr;
    bool m_created = false;
    unsigned m_wakeHandle = 0;
    const std::thread::id m_mainThread = std::this_thread::get_id();
};

} // namespace QV::QTK
