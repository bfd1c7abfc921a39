#pragma once

#include <QV/GP/Point.h>
#include <QV/GP/Rect.h>
#include <QV/UIA/WindowState.h>

namespace QV::GP {
class Region;
}

namespace QV::UIA {

class AppModule;
struct EventData;
class HMenuBar;
class Picture;
class WindowBase;

namespace DETAIL {

// The platform side of a window. Operations without a neutral meaning are
// left to each platform; the others have the behaviour every platform
// shares.
class WindowImpl
{
public:
    explicit WindowImpl(WindowBase& owner) noexcept : m_owner(owner) {}
    virtual ~WindowImpl() = default;
    WindowImpl(const WindowImpl&) = delete;
    WindowImpl& operator=(const WindowImpl&) = delete;

    virtual bool updateOffscreenPicture(const Picture& picture) = 0;
    virtual bool isVisible() const = 0;
    virtual void setTitle(const char* title) = 0;
    virtual void setMenu(const HMenuBar& menu) = 0;
    virtual void setWindowIcon(AppModule* module, int resourceId) = 0;
    virtual void setCursor(void* cursor) = 0;
    virtual void resetCursor() = 0;
    virtual void show(bool visible) = 0;
    virtual void activate() = 0;
    virtual void destroy() = 0;
    virtual void maximize() {}
    virtual void minimize() {}
    virtual void normalSize() {}
    // Asks the window for its ideal size (kEventIdealSizeQuery) and takes
    // it when answered; only at normal size.
    virtual void idealSize();
    virtual bool isMaximized() const { return false; }
    virtual bool isMinimized() const { return false; }
    virtual bool isNormalSize() const { return !isMinimized() && !isMaximized(); }
    virtual bool isIdealSize() const;
    virtual void invalidate() = 0;
    virtual void invalidateRect(const GP::Rect& rect) = 0;
    // Each rectangle of the region; a region without a list invalidates its
    // bounds when they are not empty.
    virtual void invalidateRegion(const GP::Region& region);
    virtual void update() = 0;
    virtual void onSetParent(WindowBase*) {}
    virtual void getRect(GP::Rect& rect, bool contentArea) const = 0;
    virtual void setRect(const GP::Rect& rect, bool contentArea) = 0;
    virtual GP::Point getPosition(bool contentArea) const;
    virtual void setPosition(const GP::Point& position, bool contentArea);
    virtual GP::Point getSize(bool contentArea) const;
    virtual void setSize(const GP::Point& size, bool contentArea);
    virtual float getBackingScaleFactor() const { return 1.0f; }
    virtual void getNormalSizeRect(GP::Rect& rect, bool contentArea) const { getRect(rect, contentArea); }
    virtual void setNormalSizeRect(const GP::Rect& rect, bool contentArea) { setRect(rect, contentArea); }
    virtual void getState(WindowState& state) = 0;
    virtual void restoreState(const WindowState& state) = 0;
    virtual void setFullScreenMode(const GP::Point&) {}
    virtual bool isFullScreenMode() const { return false; }
    virtual void resetFullScreenMode() {}
    virtual void toScreen(GP::Point& point) const = 0;
    virtual void toScreen(GP::Rect& rect) const = 0;
    virtual void fromScreen(GP::Point& point) const = 0;
    virtual void setKeyFocus() = 0;
    virtual bool releaseKeyFocus() = 0;
    virtual void setTrackMouseGlobal(bool) {}
    virtual void startRelativeMouseMove() {}
    virtual void stopRelativeMouseMove() {}
    virtual void textInputResetMarkedRange() {}
    virtual void setModified(bool modified) = 0;
    // To the owner window; when it does not handle the event and forwarding
    // is asked for, on to the application.
    virtual bool sendEvent(unsigned code, EventData* data, bool forwardToApplication);
    virtual bool isCocoa() const { return true; }
    // The platform view, or null.
    virtual void* getNativeView() const { return nullptr; }

    void setDeleteWindowObject(bool remove) noexcept { m_deleteWindowObject = remove; }
    bool getDeleteWindowObject() const noexcept { return m_deleteWindowObject; }
    WindowBase& getOwner() const noexcept { return m_owner; }

protected:
    // For an implementation whose native window has gone: tells the owner,
    // deletes this implementation and, when asked for, the owner too. The
    // caller must not touch this object afterwards.
    void releaseFromOwner() noexcept;

    WindowBase& m_owner;
    bool m_deleteWindowObject = false;
};

} // namespace DETAIL
} // namespace QV::UIA
