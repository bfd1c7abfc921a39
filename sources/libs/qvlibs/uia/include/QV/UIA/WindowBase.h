#pragma once

#include <QV/GP/Point.h>
#include <QV/GP/Rect.h>
#include <QV/UIA/EventTarget.h>
#include <QV/UIA/WindowState.h>

#include <cstdint>
#include <vector>

namespace QV::GP {
class Region;
}

namespace QV::UIA {

class AppModule;
class Picture;

namespace DETAIL {
class WindowImpl;
}

// A top-level window as the toolkit holds it. It owns its platform
// implementation, which holds the native window and sends the window events
// (EventCode.h) back to this object. Every operation works on a window
// without an implementation (before create, after its native window went
// away) and then does nothing or answers its default.
//
// Thread affinity: main thread.
class WindowBase : public EventTarget
{
public:
    // Flags of CreateData.
    static constexpr std::uint32_t kCreateContentSize = 0x1;
    static constexpr std::uint32_t kCreatePosition = 0x2;
    static constexpr std::uint32_t kCreateTitle = 0x10;

    // Style bits of CreateData.
    enum eStyle : std::uint32_t {
        kStyleFixedSize = 0x1,
        kStyleResizable = 0x2,
        kStyleNoTitleBar = 0x8,
        kStyleCloseButton = 0x10,
        kStyleNoCloseButton = 0x20,
        kStyleBorderless = 0x80,
        kStyleFloating = 0x100,
        kStyleNonActivating = 0x200,
        kStylePopUpMenuLevel = 0x800,
        kStyleTransparent = 0x1000,
        kStyleScreenSaverLevel = 0x2000,
    };

    struct CreateData {
        std::uint32_t flags = 0;
        std::uint32_t style = 0;
        // Content size right - left by bottom - top; frame position left, top.
        GP::Rect rectangle;
        // UTF-8 with its terminating NUL; grows, never shrinks.
        std::vector<char> title;

        // Copies the text with its NUL (null is the empty title) and sets
        // the title flag.
        void setTitle(const char* text);
        const char* getTitle() const noexcept { return title.empty() ? "" : title.data(); }
    };

    WindowBase() = default;
    // Deletes the implementation, which takes its native window with it.
    ~WindowBase() override;
    WindowBase(const WindowBase&) = delete;
    WindowBase& operator=(const WindowBase&) = delete;

    virtual void setCursor(void* cursor);
    virtual void resetCursor();

    void destroy();
    bool isVisible() const;
    // Sends kEventWindowShown first when the window becomes visible.
    void show(bool visible);
    void setWindowIcon(AppModule* module, int resourceId);
    void invalidate();
    void invalidateRegion(const GP::Region& region);
    GP::Point getSize(bool contentArea) const;
    void toScreen(GP::Point& point) const;
    void setKeyFocus();
    void startRelativeMouseMove();
    void stopRelativeMouseMove();
    // 1.0 without an implementation.
    float getBackingScaleFactor() const;
    void textInputResetMarkedRange();
    // The saved state; false (with the record unchanged) without an
    // implementation.
    bool getState(WindowState& state) const;
    bool restoreState(const WindowState& state);

    // Only for windows that draw through an offscreen picture.
    bool updateOffscreenPicture(const Picture& picture);
    bool useOffscreenPictureInsteadOfPaintEvent() const noexcept { return m_useOffscreenPicture; }
    void setUseOffscreenPicture(bool use) noexcept { m_useOffscreenPicture = use; }
    bool hasAlphaBlending() const noexcept { return m_alphaBlending; }
    void setAlphaBlending(bool alpha) noexcept { m_alphaBlending = alpha; }

    // Delete this object when its native window goes away.
    void setAutoDelete(bool autoDelete);
    bool isAutoDelete() const noexcept { return m_autoDelete; }

    // The implementation tells the window that it is going away.
    void onImplDestroyed() noexcept { m_impl = nullptr; }
    DETAIL::WindowImpl* getImpl() const noexcept { return m_impl; }
    bool hasImpl() const noexcept { return m_impl != nullptr; }
    // The platform view (an NSView), or null.
    void* getNSView() const;

protected:
    // Takes ownership of the implementation, replacing (and deleting) one
    // held before.
    void setImpl(DETAIL::WindowImpl* impl);

private:
    DETAIL::WindowImpl* m_impl = nullptr;
    bool m_autoDelete = false;
    bool m_useOffscreenPicture = false;
    bool m_alphaBlending = false;
};

} // namespace QV::UIA
