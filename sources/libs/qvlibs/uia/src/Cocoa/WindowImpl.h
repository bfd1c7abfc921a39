#pragma once

#include <QV/UIA/WindowBase.h>

#include "WindowImplBase.h"

namespace QV::UIA::COCOA {

// A window implementation that makes its own native window: a window or
// panel of the layer's run-time classes ("QVCocoaWindow", "QVCocoaPanel",
// "QVOverlayPanel") with the layer's view, or, without a view, with a
// delegate object ("QVCocoaWindowDelegateClass") that reports the window's
// notices.
//
// Thread affinity: main thread.
class WindowImpl : public WindowImplBase
{
public:
    using WindowImplBase::WindowImplBase;
    ~WindowImpl() override;

    // createWindow with a view.
    bool createWindowAndAttach(const WindowBase::CreateData& data, eWindowClass windowClass);
    // Makes the native window (and the view when asked for) and sends
    // kEventWindowCreated; false, with nothing sent, when the platform gives
    // no window or no view.
    bool createWindow(const WindowBase::CreateData& data, eWindowClass windowClass, bool createView);
    // The window's delegate becomes nil and the delegate object is let go.
    void detachDelegate() noexcept;

    void destroy() override;

private:
    void* m_delegate = nullptr; // QVCocoaWindowDelegateClass instance, retained
};

} // namespace QV::UIA::COCOA
