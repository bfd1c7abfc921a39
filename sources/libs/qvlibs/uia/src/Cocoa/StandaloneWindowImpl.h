#pragma once

#include "WindowImpl.h"

namespace QV::UIA::COCOA {

// The implementation of the standalone window: a native window with the
// layer's view, and full-screen mode. GNUstep has no full-screen mode of its
// own (and cannot change a window's style): the window takes a frame
// covering its screen, and gets its frame back when it leaves.
//
// Thread affinity: main thread.
class StandaloneWindowImpl : public WindowImpl
{
public:
    using WindowImpl::WindowImpl;

    // createWindow with a view; a window that may be resized may also go
    // full screen.
    bool createWindowAndAttach(const WindowBase::CreateData& data, eWindowClass windowClass);

    // Each sends kEventWindowSized when it changes the mode.
    void setFullScreenMode(const GP::Point& unused) override;
    bool isFullScreenMode() const override { return m_fullScreen; }
    void resetFullScreenMode() override;

private:
    void toggleFullScreen();

    bool m_fullScreenAllowed = false;
    bool m_fullScreen = false;
    double m_savedFrame[4] = {0, 0, 0, 0};
};

} // namespace QV::UIA::COCOA
