#pragma once

#include <QV/GP/Rect.h>
#include <QV/UIA/Application.h>
#include <QV/UIA/DETAIL/WindowImpl.h>
#include <QV/UIA/EventData.h>
#include <QV/UIA/StandaloneWindow.h>

#include <vector>

namespace QV::UIA::Testing {

// A window implementation without a native window: it keeps a rectangle, a
// visibility flag and a saved state, records invalidated rectangles, and
// plays the platform's close path on request.
class FakeWindowImpl : public DETAIL::WindowImpl
{
public:
    using WindowImpl::WindowImpl;

    // The platform's will-close notice: the destroyed event, then the
    // implementation goes (and the owner with it when it auto-deletes).
    void nativeWindowClosed()
    {
        EventData none;
        sendEvent(kEventWindowDestroyed, &none, false);
        releaseFromOwner();
    }

    bool updateOffscreenPicture(const Picture&) override { return true; }
    bool isVisible() const override { return visible; }
    void setTitle(const char*) override {}
    void setMenu(const HMenuBar&) override {}
    void setWindowIcon(AppModule*, int) override {}
    void setCursor(void*) override {}
    void resetCursor() override {}
    void show(bool v) override { visible = v; }
    void activate() override {}
    void destroy() override { nativeWindowClosed(); }
    void invalidate() override { invalidated.push_back({0, 0, rect.right - rect.left, rect.bottom - rect.top}); }
    void invalidateRect(const GP::Rect& r) override { invalidated.push_back(r); }
    void update() override {}
    void getRect(GP::Rect& r, bool) const override { r = rect; }
    void setRect(const GP::Rect& r, bool) override { rect = r; }
    void getState(WindowState& state) override
    {
        state.state = visible ? WindowState::kShown : WindowState::kHidden;
        state.position = getPosition(false);
        state.size = getSize(true);
        state.kind = WindowState::kPlainWindow;
    }
    void restoreState(const WindowState& state) override
    {
        setSize(state.size, true);
        setPosition(state.position, false);
        visible = state.state != WindowState::kHidden;
    }
    void toScreen(GP::Point& p) const override
    {
        p.x += rect.left;
        p.y += rect.top;
    }
    void toScreen(GP::Rect&) const override {}
    void fromScreen(GP::Point&) const override {}
    void setKeyFocus() override {}
    bool releaseKeyFocus() override { return false; }
    void setModified(bool) override {}
    bool isCocoa() const override { return false; }

    bool visible = false;
    GP::Rect rect{10, 20, 110, 220};
    std::vector<GP::Rect> invalidated;
};

// A standalone window that takes a fake implementation (or the platform's
// own, without a native window) instead of a native window, and records the
// events it receives.
class FakeStandaloneWindow : public StandaloneWindow
{
public:
    template <typename Impl = FakeWindowImpl>
    Impl* attachFake()
    {
        auto* impl = new Impl(*this);
        setImpl(impl);
        Application::addWindow(this);
        if (Application* application = Application::getApplication())
            application->setMainWindow(this);
        return impl;
    }
    bool onEvent(unsigned code, EventData* data) override
    {
        received.push_back(code);
        if (code == kEventCommand && handleCommands)
            return true;
        return StandaloneWindow::onEvent(code, data);
    }
    std::vector<unsigned> received;
    bool handleCommands = false;
};

} // namespace QV::UIA::Testing
