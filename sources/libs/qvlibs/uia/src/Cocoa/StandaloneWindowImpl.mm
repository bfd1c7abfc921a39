#include "StandaloneWindowImpl.h"

#include <QV/GP/OBJC/ClassFactory.h>
#include <QV/UIA/EventData.h>
#include <QV/UIA/Menu.h>

#include "GNUstepHeaders.h"
#include "Menu.h"
#include "ObjCMethod.h"

#include <cmath>

using QV::UIA::COCOA::asIMP;
using QV::UIA::COCOA::StandaloneWindowImpl;

namespace {

objc_class* s_delegateClass = Nil;

StandaloneWindowImpl*& delegateImpl(id self)
{
    static Ivar ivar = class_getInstanceVariable(reinterpret_cast<Class>(s_delegateClass), "impl");
    return *reinterpret_cast<StandaloneWindowImpl**>(reinterpret_cast<char*>(self) + ivar_getOffset(ivar));
}

BOOL delegateShouldClose(id self, SEL, id)
{
    StandaloneWindowImpl* impl = delegateImpl(self);
    return impl ? (impl->onShouldClose() ? YES : NO) : YES;
}

void delegateWillClose(id self, SEL, NSNotification*)
{
    if (StandaloneWindowImpl* impl = delegateImpl(self))
        impl->onWillClose();
}

struct DelegateClassFactory {
    DelegateClassFactory()
    {
        if (!factory.generateUniqueClass("QVCocoaWindowDelegateClass", "NSObject"))
            return;
        factory.addMemberVar("impl", sizeof(void*), 3, "^v");
        factory.addMethod(@selector(windowShouldClose:), asIMP(delegateShouldClose), "c@:@");
        factory.addMethod(@selector(windowWillClose:), asIMP(delegateWillClose), "v@:@");
        factory.doRegister();
    }
    QV::GP::OBJC::ClassFactory factory{s_delegateClass};
} s_delegateClassFactory;

NSWindow* nativeWindow(void* window)
{
    return reinterpret_cast<NSWindow*>(window);
}

// The top of the primary screen in the platform's bottom-left coordinates:
// this layer's y runs down from there.
double primaryTop()
{
    NSArray* screens = [NSScreen screens];
    if (![screens count])
        return 0;
    const NSRect frame = [[screens objectAtIndex:0] frame];
    return static_cast<float>(frame.origin.y + frame.size.height);
}

QV::GP::Rect fromPlatform(NSRect r)
{
    const double top = primaryTop() - (r.origin.y + r.size.height);
    const auto left = static_cast<std::int32_t>(std::trunc(r.origin.x));
    const auto y = static_cast<std::int32_t>(std::trunc(top));
    return {left, y, left + static_cast<std::int32_t>(r.size.width), y + static_cast<std::int32_t>(r.size.height)};
}

NSRect toPlatform(const QV::GP::Rect& r)
{
    const double height = r.bottom - r.top;
    return NSMakeRect(r.left, primaryTop() - r.top - height, r.right - r.left, height);
}

} // namespace

namespace QV::UIA::COCOA {

StandaloneWindowImpl::StandaloneWindowImpl(WindowBase& owner) noexcept : WindowImpl(owner)
{
}

StandaloneWindowImpl::~StandaloneWindowImpl()
{
    detachNativeWindow(false);
}

void StandaloneWindowImpl::detachNativeWindow(bool closing) noexcept
{
    NSWindow* window = nativeWindow(m_window);
    id delegate = reinterpret_cast<id>(m_delegate);
    m_window = nullptr;
    m_delegate = nullptr;
    if (delegate)
        delegateImpl(delegate) = nullptr;
    if (window) {
        [window setDelegate:nil];
        if (!closing) {
            [window orderOut:nil];
            [window close];
        }
    }
    if (closing) {
        // The window is still inside its own close method, and the delegate
        // inside its notice: both go when the run loop's pool drains.
        [window autorelease];
        [delegate autorelease];
    } else {
        [window release];
        [delegate release];
    }
}

bool StandaloneWindowImpl::createWindowAndAttach(const WindowBase::CreateData& data, unsigned)
{
    if (m_window || !s_delegateClass || !NSApp)
        return false;
    NSAutoreleasePool* pool = [NSAutoreleasePool new];
    const std::uint32_t style = data.style;
    NSUInteger mask = 0;
    if (!(style & (WindowBase::kStyleBorderless | WindowBase::kStyleNoTitleBar))) {
        mask |= NSTitledWindowMask | NSMiniaturizableWindowMask;
        if (!(style & WindowBase::kStyleNoCloseButton))
            mask |= NSClosableWindowMask;
    }
    if (style & WindowBase::kStyleResizable)
        mask |= NSResizableWindowMask;
    if (style & WindowBase::kStyleNonActivating)
        mask |= 128;

    GP::Rect rect{0, 0, 400, 300};
    if (data.flags & WindowBase::kCreateContentSize)
        rect = {0, 0, std::max(1, data.rectangle.right - data.rectangle.left),
                std::max(1, data.rectangle.bottom - data.rectangle.top)};
    NSRect content = NSMakeRect(0, 0, rect.right, rect.bottom);
    NSWindow* window = [[NSWindow alloc] initWithContentRect:content
                                                   styleMask:mask
                                                     backing:NSBackingStoreBuffered
                                                       defer:NO];
    if (!window) {
        [pool release];
        return false;
    }
    [window setReleasedWhenClosed:NO];
    if (data.flags & WindowBase::kCreatePosition) {
        const double top = primaryTop() - data.rectangle.top;
        [window setFrameTopLeftPoint:NSMakePoint(data.rectangle.left, top)];
    } else {
        [window center];
    }
    if (data.flags & WindowBase::kCreateTitle)
        [window setTitle:[NSString stringWithUTF8String:data.getTitle()]];
    if (style & WindowBase::kStyleTransparent) {
        [window setOpaque:NO];
        m_owner.setAlphaBlending(true);
    }
    // An in-window menu bar appears only for a window that has its menu
    // before it is first shown.
    Menu::attachMainMenuToWindow(window);
    id delegate = [[(Class)s_delegateClass alloc] init];
    delegateImpl(delegate) = this;
    [window setDelegate:delegate];
    m_window = window;
    m_delegate = delegate;
    [pool release];

    EventData none;
    sendEvent(kEventWindowCreated, &none, false);
    return true;
}

bool StandaloneWindowImpl::onShouldClose()
{
    CloseRequestEventData request;
    sendEvent(kEventCloseRequest, &request, false);
    return request.allow;
}

void StandaloneWindowImpl::onWillClose()
{
    // The native window goes: the owner hears of it, forgets this object,
    // which is deleted, and with auto delete goes too.
    EventData none;
    sendEvent(kEventWindowDestroyed, &none, false);
    detachNativeWindow(true);
    releaseFromOwner();
}

void StandaloneWindowImpl::destroy()
{
    if (m_window)
        [nativeWindow(m_window) close];
}

bool StandaloneWindowImpl::updateOffscreenPicture(const Picture&)
{
    return false;
}

bool StandaloneWindowImpl::isVisible() const
{
    return m_window && [nativeWindow(m_window) isVisible];
}

void StandaloneWindowImpl::setTitle(const char* title)
{
    if (m_window)
        [nativeWindow(m_window) setTitle:[NSString stringWithUTF8String:title ? title : ""]];
}

void StandaloneWindowImpl::setMenu(const HMenuBar& menu)
{
    // GNUstep draws an in-window menu bar only for a menu set on the window.
    if (m_window)
        [nativeWindow(m_window) setMenu:reinterpret_cast<NSMenu*>(menu.getNativeMenu())];
}

void StandaloneWindowImpl::setWindowIcon(AppModule*, int)
{
}

void StandaloneWindowImpl::setCursor(void* cursor)
{
    m_cursor = cursor;
}

void StandaloneWindowImpl::resetCursor()
{
    m_cursor = nullptr;
}

void StandaloneWindowImpl::show(bool visible)
{
    if (!m_window)
        return;
    if (visible)
        [nativeWindow(m_window) makeKeyAndOrderFront:nil];
    else
        [nativeWindow(m_window) orderOut:nil];
}

void StandaloneWindowImpl::activate()
{
    if (m_window) {
        [NSApp activateIgnoringOtherApps:YES];
        [nativeWindow(m_window) makeKeyAndOrderFront:nil];
    }
}

bool StandaloneWindowImpl::isMinimized() const
{
    return m_window && [nativeWindow(m_window) isMiniaturized];
}

void StandaloneWindowImpl::invalidate()
{
    if (m_window)
        [[nativeWindow(m_window) contentView] setNeedsDisplay:YES];
}

void StandaloneWindowImpl::invalidateRect(const GP::Rect& rect)
{
    if (!m_window || rect.isEmpty())
        return;
    NSView* view = [nativeWindow(m_window) contentView];
    const NSRect bounds = [view bounds];
    // The view's y runs up from its bottom unless it is flipped.
    const double y = [view isFlipped] ? rect.top : bounds.size.height - rect.bottom;
    [view setNeedsDisplayInRect:NSMakeRect(rect.left, y, rect.right - rect.left, rect.bottom - rect.top)];
}

void StandaloneWindowImpl::update()
{
    if (m_window)
        [nativeWindow(m_window) displayIfNeeded];
}

void StandaloneWindowImpl::getRect(GP::Rect& rect, bool contentArea) const
{
    if (!m_window)
        return;
    NSWindow* window = nativeWindow(m_window);
    const NSRect frame = [window frame];
    rect = fromPlatform(contentArea ? [window contentRectForFrameRect:frame] : frame);
}

void StandaloneWindowImpl::setRect(const GP::Rect& rect, bool contentArea)
{
    if (!m_window)
        return;
    NSWindow* window = nativeWindow(m_window);
    const NSRect r = toPlatform(rect);
    [window setFrame:(contentArea ? [window frameRectForContentRect:r] : r) display:YES];
}

void StandaloneWindowImpl::getState(WindowState& state)
{
    if (!m_window)
        return;
    NSWindow* window = nativeWindow(m_window);
    state.state = [window isMiniaturized] ? WindowState::kMinimised
                  : [window isVisible]    ? WindowState::kShown
                                          : WindowState::kHidden;
    GP::Rect frame, content;
    getRect(frame, false);
    getRect(content, true);
    state.position = {frame.left, frame.top};
    state.size = {content.right - content.left, content.bottom - content.top};
    state.kind = [window isKindOfClass:[NSPanel class]]         ? WindowState::kPanel
                 : [window level] == NSFloatingWindowLevel ? WindowState::kFloatingWindow
                                                           : WindowState::kPlainWindow;
}

void StandaloneWindowImpl::restoreState(const WindowState& state)
{
    if (!m_window)
        return;
    NSWindow* window = nativeWindow(m_window);
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

void StandaloneWindowImpl::toScreen(GP::Point& point) const
{
    GP::Rect content;
    getRect(content, true);
    point.x += content.left;
    point.y += content.top;
}

void StandaloneWindowImpl::toScreen(GP::Rect& rect) const
{
    GP::Point origin{0, 0};
    toScreen(origin);
    rect = {rect.left + origin.x, rect.top + origin.y, rect.right + origin.x, rect.bottom + origin.y};
}

void StandaloneWindowImpl::fromScreen(GP::Point& point) const
{
    GP::Point origin{0, 0};
    toScreen(origin);
    point.x -= origin.x;
    point.y -= origin.y;
}

void StandaloneWindowImpl::setKeyFocus()
{
    if (m_window)
        [nativeWindow(m_window) makeKeyWindow];
}

bool StandaloneWindowImpl::releaseKeyFocus()
{
    return false;
}

void StandaloneWindowImpl::setModified(bool modified)
{
    if (m_window)
        [nativeWindow(m_window) setDocumentEdited:modified ? YES : NO];
}

void* StandaloneWindowImpl::getNativeView() const
{
    return m_window ? [nativeWindow(m_window) contentView] : nullptr;
}

} // namespace QV::UIA::COCOA
