#pragma once

#include <QV/UIA/DETAIL/WindowImpl.h>
#include <QV/UIA/WindowBase.h>

namespace QV::UIA::COCOA {

// The standalone window over a native window (NSWindow) with a delegate of
// its own that turns the platform's close question and close notice into
// kEventCloseRequest and kEventWindowDestroyed. The native window's view,
// painting, input and full-screen mode are not built yet: the window shows
// its platform background, and offscreen pictures are refused.
//
// Thread affinity: main thread.
class StandaloneWindowImpl : public DETAIL::WindowImpl
{
public:
    explicit StandaloneWindowImpl(WindowBase& owner) noexcept;
    // Takes a native window that is still open down first, silently: the
    // owner may be half destroyed.
    ~StandaloneWindowImpl() override;

    // Creates the native window; sends kEventWindowCreated at the end.
    // False when the platform gives no window.
    bool createWindowAndAttach(const WindowBase::CreateData& data, unsigned windowClass);

    // The platform's close question and close notice (delegate callbacks).
    bool onShouldClose();
    void onWillClose();

    bool updateOffscreenPicture(const Picture& picture) override;
    bool isVisible() const override;
    void setTitle(const char* title) override;
    void setMenu(const HMenuBar& menu) override;
    void setWindowIcon(AppModule* module, int resourceId) override;
    void setCursor(void* cursor) override;
    void resetCursor() override;
    void show(bool visible) override;
    void activate() override;
    void destroy() override;
    bool isMinimized() const override;
    void invalidate() override;
    void invalidateRect(const GP::Rect& rect) override;
    void update() override;
    void getRect(GP::Rect& rect, bool contentArea) const override;
    void setRect(const GP::Rect& rect, bool contentArea) override;
    void getState(WindowState& state) override;
    void restoreState(const WindowState& state) override;
    void toScreen(GP::Point& point) const override;
    void toScreen(GP::Rect& rect) const override;
    void fromScreen(GP::Point& point) const override;
    void setKeyFocus() override;
    bool releaseKeyFocus() override;
    void setModified(bool modified) override;
    void* getNativeView() const override;

    void* getNativeWindow() const noexcept { return m_window; }

private:
    // closing: the platform is closing the window already.
    void detachNativeWindow(bool closing) noexcept;

    void* m_window = nullptr;   // NSWindow, retained
    void* m_delegate = nullptr; // the delegate object, retained
    void* m_cursor = nullptr;
};

} // namespace QV::UIA::COCOA
