#pragma once

#include <QV/UIA/DETAIL/WindowImpl.h>
#include <QV/UIA/DeviceContext.h>
#include <QV/UIA/EventData.h>

#include "../Common/MouseInput.h"

#include <memory>

namespace QV::UIA::COCOA {

// A window implementation over a native window (NSWindow) and the layer's
// own view (QVCocoaView), either of which may be missing: operations on a
// missing one do nothing and queries answer false, zero or the neutral
// value. The view turns the platform's callbacks into the window's events
// through this object.
//
// Screen coordinates here have their origin at the top-left corner of the
// primary screen, y growing downwards; the platform's grow upwards from the
// bottom-left.
//
// Thread affinity: main thread.
class WindowImplBase : public DETAIL::WindowImpl
{
public:
    enum eWindowClass : std::uint32_t {
        kWindow = 0,
        kPanel = 1,
        kAlternativeWindow = 2,
        kOverlayPanel = 3,
    };

    explicit WindowImplBase(WindowBase& owner);
    // Detaches the view and takes a native window that is still open down
    // silently: the owner may be half destroyed.
    ~WindowImplBase() override;

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
    void minimize() override;
    void normalSize() override;
    void idealSize() override;
    bool isMaximized() const override { return false; }
    bool isMinimized() const override;
    bool isNormalSize() const override;
    bool isIdealSize() const override;
    void invalidate() override;
    void invalidateRect(const GP::Rect& rect) override;
    void update() override;
    void onSetParent(WindowBase* parent) override;
    void getRect(GP::Rect& rect, bool contentArea) const override;
    void setRect(const GP::Rect& rect, bool contentArea) override;
    GP::Point getPosition(bool contentArea) const override;
    void setPosition(const GP::Point& position, bool contentArea) override;
    GP::Point getSize(bool contentArea) const override;
    void setSize(const GP::Point& size, bool contentArea) override;
    float getBackingScaleFactor() const override;
    void getState(WindowState& state) override;
    void restoreState(const WindowState& state) override;
    void toScreen(GP::Point& point) const override;
    void toScreen(GP::Rect& rect) const override;
    void fromScreen(GP::Point& point) const override;
    void setKeyFocus() override;
    bool releaseKeyFocus() override { return true; }
    void setTrackMouseGlobal(bool on) override;
    void startRelativeMouseMove() override;
    void stopRelativeMouseMove() override;
    void textInputResetMarkedRange() override;
    void setModified(bool modified) override;
    void* getNativeView() const override { return m_view; }

    // The device context attached to a paint's platform context (an
    // NSGraphicsContext), and detached after it.
    DeviceContext* attachDCTo(void* context);
    void detachDC();

    void attach(void* view, void* window);
    void attachWindow(void* window);
    void* getNativeWindow() const noexcept { return m_window; }
    void* getCurrentCursor() const noexcept { return m_cursor; }

    eMouseButton getLastMouseButtonDown() const noexcept { return m_mouse.getLastMouseButtonDown(); }
    void setLastMouseButtonDown(eMouseButton button) noexcept { m_mouse.setLastMouseButtonDown(button); }
    DETAIL::MouseInput& mouse() noexcept { return m_mouse; }

    bool isModalDialog() const noexcept { return m_modalDialog; }
    void setModalDialog(bool modal) noexcept { m_modalDialog = modal; }

    // The platform closes the native window itself (the user's close, or a
    // close from elsewhere): reports kEventWindowDestroyed once and lets the
    // implementation go. `viewGone` when the view is being deallocated. Safe
    // against a handler that destroys or deletes the window again.
    void onPlatformClose();
    // Tells the owner that the native window went and deletes this object
    // (and the owner when it auto-deletes). Nothing may touch this object
    // afterwards.
    void onViewDestroyed() noexcept;

    // Asks the window for its resize limits and gives them to the native
    // window, which keeps user resizing inside them.
    void applyResizeLimits();
    // The size the native window should take instead of a proposed frame
    // size, after the window's resize limits; `impl` may be null.
    static void proposeFrameSize(WindowImplBase* impl, double& width, double& height);
    // Puts the native window back inside the window's resize limits when
    // something resized it past them; `impl` may be null.
    static void keepInsideResizeLimits(WindowImplBase* impl);

    // The platform's y of the top of the primary screen; a default screen
    // stands in when the platform lists none.
    static double primaryTop();

protected:
    // Forgets view and window (the window is closing or gone), detaching
    // the view.
    void forgetNative(bool windowClosing) noexcept;

    void* m_view = nullptr;   // QVCocoaView, held by its superview
    void* m_window = nullptr; // NSWindow, retained
    void* m_cursor = nullptr;
    std::unique_ptr<DeviceContext> m_deviceContext;
    bool m_modalDialog = false;
    DETAIL::MouseInput m_mouse;
    // Set while the native window is being taken down, so that nothing
    // reports or releases it twice.
    bool m_closing = false;
    // Points at a flag of a caller up the stack that must learn that this
    // object was deleted under it.
    bool* m_deleted = nullptr;
};

} // namespace QV::UIA::COCOA
