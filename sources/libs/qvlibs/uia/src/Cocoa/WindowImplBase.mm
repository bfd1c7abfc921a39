#include "WindowImplBase.h"

#include <QV/UIA/Application.h>
#include <QV/UIA/CursorManager.h>
#include <QV/UIA/Menu.h>
#include <QV/UIA/WindowBase.h>

#include "../Common/WindowGeometry.h"
#include "GNUstepHeaders.h"
#include "MouseSetup.h"
#include "QueuedInputWatch.h"
#include "View.h"

#import <GNUstepGUI/GSDisplayServer.h>

#include <cmath>
#include <exception>

namespace QV::UIA::COCOA {

using DETAIL::WindowGeometry;

namespace {

NSWindow* asWindow(void* window)
{
    return reinterpret_cast<NSWindow*>(window);
}

NSView* asView(void* view)
{
    return reinterpret_cast<NSView*>(view);
}

GP::Rect fromPlatform(NSRect r)
{
    return WindowGeometry::fromPlatform(r.origin.x, r.origin.y, r.size.width, r.size.height,
                                        WindowImplBase::primaryTop());
}

NSRect toPlatform(const GP::Rect& r)
{
    const double height = double(r.bottom) - r.top;
    return NSMakeRect(r.left, WindowGeometry::platformBottom(r.top, height, WindowImplBase::primaryTop()),
                      double(r.right) - r.left, height);
}

// Runs `change` on a view with automatic resizing of its subviews off.
template <typename Change>
void withoutAutoresizing(NSView* view, Change change)
{
    const BOOL resizes = [view autoresizesSubviews];
    [view setAutoresizesSubviews:NO];
    change();
    [view setAutoresizesSubviews:resizes];
}

} // namespace

double WindowImplBase::primaryTop()
{
    NSArray* screens = [NSScreen screens];
    NSScreen* screen = [screens count] ? [screens objectAtIndex:0] : [NSScreen mainScreen];
    if (!screen)
        return 0; // no screen at all: a default screen with its top at 0
    const NSRect frame = [screen frame];
    return WindowGeometry::primaryTop(frame.origin.y, frame.size.height);
}

WindowImplBase::WindowImplBase(WindowBase& owner)
    : WindowImpl(owner), m_deviceContext(std::make_unique<DeviceContext>(0, 0)), m_mouse(*this)
{
}

WindowImplBase::~WindowImplBase()
{
    if (m_deleted)
        *m_deleted = true;
    try {
        forgetNative(false);
    } catch (...) {
        std::terminate();
    }
}

void WindowImplBase::forgetNative(bool windowClosing) noexcept
{
    NSView* view = asView(m_view);
    NSWindow* window = asWindow(m_window);
    m_view = nullptr;
    m_window = nullptr;
    if (view)
        View::detachImpl(view);
    if (!window)
        return;
    if (windowClosing) {
        // The window is still inside its own close: it goes when the run
        // loop's pool drains.
        [window autorelease];
        return;
    }
    m_closing = true;
    NSAutoreleasePool* pool = [NSAutoreleasePool new];
    [window orderOut:nil];
    [window close];
    [window release];
    [pool release];
}

void WindowImplBase::attach(void* view, void* window)
{
    m_view = view;
    attachWindow(window);
}

void WindowImplBase::attachWindow(void* window)
{
    if (window == m_window)
        return;
    [asWindow(window) retain];
    [asWindow(m_window) release];
    m_window = window;
}

bool WindowImplBase::updateOffscreenPicture(const Picture&)
{
    return false;
}

bool WindowImplBase::isVisible() const
{
    if (m_window)
        return [asWindow(m_window) isVisible] && (!m_view || ![asView(m_view) isHidden]);
    return m_view && ![asView(m_view) isHidden];
}

void WindowImplBase::setTitle(const char* title)
{
    if (m_window)
        [asWindow(m_window) setTitle:[NSString stringWithUTF8String:title ? title : ""]];
}

void WindowImplBase::setMenu(const HMenuBar& menu)
{
    // GNUstep draws an in-window menu bar only for a menu set on the window.
    if (m_window && menu.getNativeMenu())
        [asWindow(m_window) setMenu:reinterpret_cast<NSMenu*>(menu.getNativeMenu())];
}

void WindowImplBase::setWindowIcon(AppModule*, int)
{
}

void WindowImplBase::setCursor(void* cursor)
{
    m_cursor = cursor;
    CursorManager::setSystemCursor(cursor);
}

void WindowImplBase::resetCursor()
{
    m_cursor = nullptr;
    CursorManager::resetSystemCursor();
}

void WindowImplBase::show(bool visible)
{
    if (!m_window)
        return;
    if (visible) {
        // From the first window on, input that arrives while the main thread
        // is held is acted on once it is free.
        watchQueuedInput();
        applyResizeLimits();
        NSWindow* window = asWindow(m_window);
        const bool wasVisible = [window isVisible];
        [window orderFront:nil];
        // GNUstep draws a window it orders in before it maps it, and X keeps
        // nothing drawn into an unmapped window: the picture reaches the
        // screen only when the X server's expose event has come back through
        // the run loop, after whatever the caller does next (at start-up,
        // the rest of the launch). The picture is whole in the window's
        // buffer; handed to the display now, behind the map, the window
        // shows whole as soon as it is mapped.
        if (!wasVisible && [window isVisible]) {
            const NSSize size = [window frame].size;
            [GSServerForWindow(window) flushwindowrect:NSMakeRect(0, 0, size.width, size.height)
                                                      :static_cast<int>([window windowNumber])];
        }
        // Once the window is on its way to the screen, and before any click
        // into it is read: the first click's press and release then come in
        // the order they were made.
        setUpMouseBeforeFirstClick();
    } else {
        [asWindow(m_window) orderOut:nil];
    }
}

void WindowImplBase::activate()
{
    if (m_window)
        [asWindow(m_window) orderFront:nil];
}

void WindowImplBase::destroy()
{
    if (m_closing)
        return;
    m_closing = true;
    bool deleted = false;
    m_deleted = &deleted;
    EventData none;
    sendEvent(kEventWindowDestroyed, &none, false);
    if (deleted)
        return;
    m_deleted = nullptr;
    NSWindow* window = asWindow(m_window);
    NSView* view = asView(m_view);
    m_view = nullptr;
    m_window = nullptr;
    if (view)
        View::detachImpl(view);
    NSAutoreleasePool* pool = [NSAutoreleasePool new];
    [window close];
    [window release];
    onViewDestroyed();
    [pool release];
}

void WindowImplBase::onPlatformClose()
{
    if (m_closing)
        return;
    m_closing = true;
    // Detached first: whatever the handlers of the notice do to this window
    // finds it already going and leaves it alone.
    forgetNative(true);
    bool deleted = false;
    m_deleted = &deleted;
    if (!m_modalDialog) {
        EventData none;
        sendEvent(kEventWindowDestroyed, &none, false);
    }
    if (deleted)
        return;
    m_deleted = nullptr;
    if (!m_modalDialog)
        onViewDestroyed();
}

void WindowImplBase::onViewDestroyed() noexcept
{
    releaseFromOwner();
}

void WindowImplBase::minimize()
{
    if (m_window)
        [asWindow(m_window) miniaturize:nil];
}

void WindowImplBase::normalSize()
{
    if (m_window && [asWindow(m_window) isMiniaturized])
        [asWindow(m_window) deminiaturize:nil];
}

void WindowImplBase::idealSize()
{
    if (!m_window) {
        WindowImpl::idealSize();
        return;
    }
    NSWindow* window = asWindow(m_window);
    if (![window isMiniaturized] && ![window isZoomed])
        [window zoom:nil];
}

bool WindowImplBase::isMinimized() const
{
    return m_window && [asWindow(m_window) isMiniaturized];
}

bool WindowImplBase::isNormalSize() const
{
    return !m_window || ![asWindow(m_window) isMiniaturized];
}

bool WindowImplBase::isIdealSize() const
{
    if (!m_window)
        return WindowImpl::isIdealSize();
    return [asWindow(m_window) isZoomed];
}

void WindowImplBase::invalidate()
{
    NSView* view = m_view ? asView(m_view) : (m_window ? [asWindow(m_window) contentView] : nil);
    [view setNeedsDisplay:YES];
}

void WindowImplBase::invalidateRect(const GP::Rect& rect)
{
    if (!m_view || rect.isEmpty())
        return;
    // The view is flipped: its rectangles run down from the top like ours.
    [asView(m_view) setNeedsDisplayInRect:NSMakeRect(rect.left, rect.top, double(rect.right) - rect.left,
                                                     double(rect.bottom) - rect.top)];
}

void WindowImplBase::update()
{
    if (m_window)
        [asWindow(m_window) displayIfNeeded];
}

void WindowImplBase::onSetParent(WindowBase* parent)
{
    if (!m_view || !parent || !parent->getNSView())
        return;
    NSView* view = asView(m_view);
    [view retain];
    [view removeFromSuperview];
    [asView(parent->getNSView()) addSubview:view];
    [view release];
}

void WindowImplBase::getRect(GP::Rect& rect, bool contentArea) const
{
    if (m_window) {
        NSWindow* window = asWindow(m_window);
        const NSRect frame = [window frame];
        rect = fromPlatform(contentArea ? [window contentRectForFrameRect:frame] : frame);
        return;
    }
    if (!m_view)
        return;
    NSView* view = asView(m_view);
    NSRect frame = [view frame];
    if ([view superview])
        frame = [[view superview] convertRect:frame toView:nil];
    if (NSWindow* window = [view window]) {
        const NSRect content = [window contentRectForFrameRect:[window frame]];
        frame.origin.x += content.origin.x;
        frame.origin.y += content.origin.y;
    }
    rect = fromPlatform(frame);
}

void WindowImplBase::setRect(const GP::Rect& rect, bool contentArea)
{
    NSView* view = asView(m_view);
    if (view)
        [[view superview] setNeedsDisplayInRect:[view frame]];
    if (m_window) {
        NSWindow* window = asWindow(m_window);
        const NSRect r = toPlatform(rect);
        [window setFrame:(contentArea ? [window frameRectForContentRect:r] : r) display:YES];
        return;
    }
    if (!view)
        return;
    withoutAutoresizing(view, [&] {
        [view setFrameSize:NSMakeSize(double(rect.right) - rect.left, double(rect.bottom) - rect.top)];
    });
    [view setNeedsDisplay:YES];
}

GP::Point WindowImplBase::getPosition(bool contentArea) const
{
    GP::Rect rect;
    getRect(rect, contentArea);
    return {rect.left, rect.top};
}

void WindowImplBase::setPosition(const GP::Point& position, bool contentArea)
{
    if (m_window) {
        NSWindow* window = asWindow(m_window);
        const NSRect frame = [window frame];
        double dx = 0;
        double dy = 0;
        if (contentArea) {
            // The frame's top-left lies this far from the content's.
            const NSRect content = [window contentRectForFrameRect:frame];
            dx = content.origin.x - frame.origin.x;
            dy = (frame.origin.y + frame.size.height) - (content.origin.y + content.size.height);
        }
        const double left = position.x - dx;
        const double top = position.y - dy;
        [window setFrameOrigin:NSMakePoint(left, WindowGeometry::platformBottom(top, frame.size.height, primaryTop()))];
        return;
    }
    if (!m_view)
        return;
    NSView* view = asView(m_view);
    withoutAutoresizing(view, [&] { [view setFrameOrigin:NSMakePoint(position.x, position.y)]; });
    [view setNeedsDisplay:YES];
}

GP::Point WindowImplBase::getSize(bool contentArea) const
{
    if (m_window) {
        GP::Rect rect;
        getRect(rect, contentArea);
        return {rect.right - rect.left, rect.bottom - rect.top};
    }
    if (!m_view)
        return {0, 0};
    const NSSize size = [asView(m_view) frame].size;
    return {static_cast<std::int32_t>(size.width), static_cast<std::int32_t>(size.height)};
}

void WindowImplBase::setSize(const GP::Point& size, bool contentArea)
{
    NSView* view = asView(m_view);
    if (view)
        [[view superview] setNeedsDisplayInRect:[view frame]];
    if (m_window) {
        NSWindow* window = asWindow(m_window);
        const NSRect frame = [window frame];
        NSRect wanted = NSMakeRect(frame.origin.x, frame.origin.y, size.x, size.y);
        if (contentArea)
            wanted = [window frameRectForContentRect:wanted];
        // The top edge stays where it was.
        wanted.origin.y = frame.origin.y + frame.size.height - wanted.size.height;
        [window setFrame:wanted display:YES];
        return;
    }
    if (!view)
        return;
    withoutAutoresizing(view, [&] { [view setFrameSize:NSMakeSize(size.x, size.y)]; });
    [view setNeedsDisplay:YES];
}

float WindowImplBase::getBackingScaleFactor() const
{
    Application* application = Application::getApplication();
    if (!application || !application->isHighResolutionDrawing() || !m_view)
        return 1.0f;
    // GNUstep (Debian 12) draws one point per device pixel and cannot
    // convert sizes to a backing store.
    return 1.0f;
}

void WindowImplBase::getState(WindowState& state)
{
    if (!m_window)
        return;
    NSWindow* window = asWindow(m_window);
    state.state = [window isMiniaturized] ? WindowState::kMinimised
                  : [window isVisible]    ? WindowState::kShown
                                          : WindowState::kHidden;
    state.position = getPosition(false);
    state.size = getSize(true);
    state.kind = [window isKindOfClass:[NSPanel class]]         ? WindowState::kPanel
                 : [window level] == NSFloatingWindowLevel ? WindowState::kFloatingWindow
                                                           : WindowState::kPlainWindow;
}

void WindowImplBase::restoreState(const WindowState& state)
{
    if (!m_window)
        return;
    NSWindow* window = asWindow(m_window);
    if (state.size.x >= 1 && state.size.y >= 1)
        setSize(state.size, true);
    if (state.position.x >= -9999 && state.position.y >= -9999)
        setPosition(state.position, false);
    if (state.state == WindowState::kHidden) {
        [window orderOut:nil];
        return;
    }
    if (![window isVisible])
        [window orderFront:nil];
    if (state.state == WindowState::kMinimised)
        [window miniaturize:nil];
}

void WindowImplBase::toScreen(GP::Point& point) const
{
    if (!m_view)
        return;
    NSView* view = asView(m_view);
    NSWindow* window = [view window];
    NSRect inWindow = [view convertRect:[view bounds] toView:nil];
    if (window) {
        const NSRect frame = [window frame];
        inWindow.origin.x += frame.origin.x;
        inWindow.origin.y += frame.origin.y;
    }
    const GP::Rect onScreen = fromPlatform(inWindow);
    point.x += onScreen.left;
    point.y += onScreen.top;
}

void WindowImplBase::toScreen(GP::Rect& rect) const
{
    GP::Point origin{0, 0};
    toScreen(origin);
    rect = {rect.left + origin.x, rect.top + origin.y, rect.right + origin.x, rect.bottom + origin.y};
}

void WindowImplBase::fromScreen(GP::Point& point) const
{
    GP::Point origin{0, 0};
    toScreen(origin);
    point.x -= origin.x;
    point.y -= origin.y;
}

void WindowImplBase::setKeyFocus()
{
    if (!m_window)
        return;
    NSWindow* window = asWindow(m_window);
    [window makeKeyWindow];
    // A window just ordered in reaches the screen when its drawing is next
    // flushed, and taking the keyboard leaves its title bar to be drawn
    // again. Drawn now, the window shows at once; left to the run loop, it
    // stays empty on the screen until everything else the launch does is
    // done.
    [window displayIfNeeded];
}

void WindowImplBase::setTrackMouseGlobal(bool)
{
    // GNUstep has no local event monitor to see other windows' clicks with;
    // nothing in the system asks for it.
}

void WindowImplBase::startRelativeMouseMove()
{
    m_mouse.setRelativeMotion(true);
}

void WindowImplBase::stopRelativeMouseMove()
{
    m_mouse.setRelativeMotion(false);
}

void WindowImplBase::textInputResetMarkedRange()
{
    NSView* view = asView(m_view);
    if (view && [view respondsToSelector:@selector(inputContext)]) {
        id context = [view performSelector:@selector(inputContext)];
        if ([context respondsToSelector:@selector(discardMarkedText)])
            [context performSelector:@selector(discardMarkedText)];
    }
}

void WindowImplBase::setModified(bool modified)
{
    if (m_window)
        [asWindow(m_window) setDocumentEdited:modified ? YES : NO];
}

DeviceContext* WindowImplBase::attachDCTo(void* context)
{
    m_deviceContext->attachOSHandle(context);
    return m_deviceContext.get();
}

void WindowImplBase::detachDC()
{
    m_deviceContext->detachOSHandle();
}

void WindowImplBase::applyResizeLimits()
{
    if (!m_window)
        return;
    // GNUstep asks windowWillResize:toSize: only when zooming; the limits
    // the window gives are handed to the native window instead, which keeps
    // the user's resizing inside them.
    ResizeProposalEventData limits;
    if (!sendEvent(kEventResizeProposal, &limits, false))
        return;
    NSWindow* window = asWindow(m_window);
    if (limits.limits & ResizeProposalEventData::kMinimumValid)
        [window setContentMinSize:NSMakeSize(std::max(0, limits.minWidth), std::max(0, limits.minHeight))];
    if (limits.limits & ResizeProposalEventData::kMaximumValid)
        [window setContentMaxSize:NSMakeSize(std::max(0, limits.maxWidth), std::max(0, limits.maxHeight))];
}

void WindowImplBase::proposeFrameSize(WindowImplBase* impl, double& width, double& height)
{
    ResizeProposalEventData limits;
    if (!impl || !impl->sendEvent(kEventResizeProposal, &limits, false) || !impl->m_window)
        return;
    NSWindow* window = asWindow(impl->m_window);
    const NSRect content = [window contentRectForFrameRect:NSMakeRect(0, 0, width, height)];
    auto w = static_cast<std::int32_t>(content.size.width);
    auto h = static_cast<std::int32_t>(content.size.height);
    if (!WindowGeometry::limitContentSize(w, h, limits))
        return;
    const NSRect frame = [window frameRectForContentRect:NSMakeRect(0, 0, w, h)];
    width = frame.size.width;
    height = frame.size.height;
}

void WindowImplBase::keepInsideResizeLimits(WindowImplBase* impl)
{
    if (!impl || !impl->m_window)
        return;
    NSWindow* window = asWindow(impl->m_window);
    const NSRect frame = [window frame];
    double width = frame.size.width;
    double height = frame.size.height;
    proposeFrameSize(impl, width, height);
    if (width == frame.size.width && height == frame.size.height)
        return;
    // The top edge stays where it was, as in the user's own resizing.
    const NSRect wanted = NSMakeRect(frame.origin.x, frame.origin.y + frame.size.height - height, width, height);
    [window setFrame:wanted display:YES];
    // GNUstep's X11 back end (0.29) puts the X window back, but tells the
    // window so only when the size differs from the one it last asked for
    // itself: the window is told as the back end tells it otherwise.
    if (!NSEqualSizes([window frame].size, wanted.size)) {
        [window sendEvent:[NSEvent otherEventWithType:NSAppKitDefined
                                             location:wanted.origin
                                        modifierFlags:0
                                            timestamp:0
                                         windowNumber:[window windowNumber]
                                              context:GSCurrentContext()
                                              subtype:GSAppKitWindowResized
                                                data1:static_cast<NSInteger>(width)
                                                data2:static_cast<NSInteger>(height)]];
    }
}

} // namespace QV::UIA::COCOA
