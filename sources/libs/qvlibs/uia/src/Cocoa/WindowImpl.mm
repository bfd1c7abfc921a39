#include "WindowImpl.h"

#include <QV/GP/OBJC/ClassFactory.h>
#include <QV/UIA/EventData.h>

#include "../Common/WindowGeometry.h"
#include "GNUstepHeaders.h"
#include "ObjCMethod.h"
#include "View.h"

#include <string>

using QV::UIA::COCOA::asIMP;
using QV::UIA::COCOA::WindowImpl;
using QV::UIA::COCOA::WindowImplBase;
using QV::UIA::DETAIL::WindowGeometry;

namespace {

objc_class* s_windowClass = Nil;
objc_class* s_panelClass = Nil;
objc_class* s_overlayPanelClass = Nil;
objc_class* s_delegateClass = Nil;

BOOL answerYes(id, SEL)
{
    return YES;
}

// Windows and panels of the layer may become key and main even without a
// title bar, which GNUstep otherwise refuses.
struct WindowClassFactory {
    WindowClassFactory(objc_class*& slot, const char* name, const char* superclass, bool keyAndMain) : factory(slot)
    {
        if (!factory.generateUniqueClass(name, superclass))
            return;
        if (keyAndMain) {
            factory.addMethod(@selector(canBecomeKeyWindow), asIMP(answerYes), "c@:");
            factory.addMethod(@selector(canBecomeMainWindow), asIMP(answerYes), "c@:");
        }
        factory.doRegister();
    }
    QV::GP::OBJC::ClassFactory factory;
};

WindowClassFactory s_windowFactory{s_windowClass, "QVCocoaWindow", "NSWindow", true};
WindowClassFactory s_panelFactory{s_panelClass, "QVCocoaPanel", "NSPanel", true};
WindowClassFactory s_overlayFactory{s_overlayPanelClass, "QVOverlayPanel", "NSPanel", false};

WindowImplBase*& delegateImpl(id self)
{
    static Ivar ivar = class_getInstanceVariable(reinterpret_cast<Class>(s_delegateClass), "pImpl");
    return *reinterpret_cast<WindowImplBase**>(reinterpret_cast<char*>(self) + ivar_getOffset(ivar));
}

void sendNone(id self, unsigned code)
{
    if (WindowImplBase* impl = delegateImpl(self)) {
        QV::UIA::EventData none;
        impl->sendEvent(code, &none, false);
    }
}

void clearResponders(WindowImplBase* impl)
{
    NSWindow* window = reinterpret_cast<NSWindow*>(impl->getNativeWindow());
    [window setInitialFirstResponder:nil];
    [window makeFirstResponder:nil];
}

BOOL delegateShouldClose(id self, SEL, id)
{
    WindowImplBase* impl = delegateImpl(self);
    if (!impl)
        return YES;
    QV::UIA::CloseRequestEventData request;
    impl->sendEvent(QV::UIA::kEventCloseRequest, &request, false);
    return request.allow ? YES : NO;
}

void delegateWillClose(id self, SEL, NSNotification*)
{
    WindowImplBase* impl = delegateImpl(self);
    if (!impl)
        return;
    // Detached before anything is reported, so that a notice that comes
    // back while the close is reported finds nothing to report.
    delegateImpl(self) = nullptr;
    static_cast<WindowImpl*>(impl)->detachDelegate();
    impl->onPlatformClose();
}

void delegateDidBecomeMain(id self, SEL, NSNotification*)
{
    sendNone(self, QV::UIA::kEventWindowBecameMain);
}

void delegateDidResignMain(id self, SEL, NSNotification*)
{
    if (WindowImplBase* impl = delegateImpl(self))
        clearResponders(impl);
    sendNone(self, QV::UIA::kEventWindowResignedMain);
}

void delegateDidBecomeKey(id self, SEL, NSNotification*)
{
    sendNone(self, QV::UIA::kEventKeyFocusGained);
}

void delegateDidResignKey(id self, SEL, NSNotification*)
{
    if (WindowImplBase* impl = delegateImpl(self))
        clearResponders(impl);
    sendNone(self, QV::UIA::kEventKeyFocusLost);
    sendNone(self, QV::UIA::kEventKeyFocusLostLate);
}

NSSize delegateWillResize(id self, SEL, NSWindow*, NSSize proposed)
{
    double width = proposed.width;
    double height = proposed.height;
    WindowImplBase::proposeFrameSize(delegateImpl(self), width, height);
    return NSMakeSize(width, height);
}

void delegateContentSizeChanged(id self, SEL, NSNotification* notification)
{
    WindowImplBase* impl = delegateImpl(self);
    NSView* view = [notification object];
    if (!impl || ![view isKindOfClass:[NSView class]])
        return;
    const NSSize size = [view frame].size;
    const BOOL resizes = [view autoresizesSubviews];
    [view setAutoresizesSubviews:NO];
    impl->setSize({static_cast<std::int32_t>(size.width), static_cast<std::int32_t>(size.height)}, true);
    [view setAutoresizesSubviews:resizes];
}

struct DelegateClassFactory {
    DelegateClassFactory()
    {
        if (!factory.generateUniqueClass("QVCocoaWindowDelegateClass", "NSObject"))
            return;
        factory.addMemberVar("pImpl", sizeof(void*), 3, "^v");
        factory.addMethod(@selector(windowShouldClose:), asIMP(delegateShouldClose), "c@:@");
        factory.addMethod(@selector(windowWillClose:), asIMP(delegateWillClose), "v@:@");
        factory.addMethod(@selector(windowDidBecomeMain:), asIMP(delegateDidBecomeMain), "v@:@");
        factory.addMethod(@selector(windowDidResignMain:), asIMP(delegateDidResignMain), "v@:@");
        factory.addMethod(@selector(windowDidBecomeKey:), asIMP(delegateDidBecomeKey), "v@:@");
        factory.addMethod(@selector(windowDidResignKey:), asIMP(delegateDidResignKey), "v@:@");
        factory.addMethod(@selector(contentSizeChanged:), asIMP(delegateContentSizeChanged), "v@:@");
        static const std::string resizeTypes = std::string(@encode(NSSize)) + "@:@" + @encode(NSSize);
        factory.addMethod(@selector(windowWillResize:toSize:), asIMP(delegateWillResize), resizeTypes.c_str());
        factory.doRegister();
    }
    QV::GP::OBJC::ClassFactory factory{s_delegateClass};
} s_delegateClassFactory;

NSInteger platformLevel(WindowGeometry::eLevel level)
{
    switch (level) {
    case WindowGeometry::kLevelFloating:
        return NSFloatingWindowLevel;
    case WindowGeometry::kLevelPopUpMenu:
        return NSPopUpMenuWindowLevel;
    case WindowGeometry::kLevelScreenSaver:
        return NSScreenSaverWindowLevel;
    case WindowGeometry::kLevelNormal:
        break;
    }
    return NSNormalWindowLevel;
}

} // namespace

namespace QV::UIA::COCOA {

WindowImpl::~WindowImpl()
{
    detachDelegate();
}

void WindowImpl::detachDelegate() noexcept
{
    id delegate = reinterpret_cast<id>(m_delegate);
    if (!delegate)
        return;
    m_delegate = nullptr;
    delegateImpl(delegate) = nullptr;
    [reinterpret_cast<NSWindow*>(m_window) setDelegate:nil];
    // The delegate may be inside one of its own methods.
    [delegate autorelease];
}

bool WindowImpl::createWindowAndAttach(const WindowBase::CreateData& data, eWindowClass windowClass)
{
    return createWindow(data, windowClass, true);
}

bool WindowImpl::createWindow(const WindowBase::CreateData& data, eWindowClass windowClass, bool createView)
{
    if (m_window || !NSApp)
        return false;
    objc_class* cls = windowClass == kOverlayPanel ? s_overlayPanelClass
                      : windowClass == kPanel      ? s_panelClass
                                                   : s_windowClass;
    if (!cls || (!createView && !s_delegateClass))
        return false;
    NSAutoreleasePool* pool = [NSAutoreleasePool new];
    const std::uint32_t style = data.style;
    const double top = primaryTop();

    double width = 400;
    double height = 300;
    if (data.flags & WindowBase::kCreateContentSize) {
        // A rectangle turned inside out gives no window of negative size.
        width = std::max(1.0, double(data.rectangle.right) - data.rectangle.left);
        height = std::max(1.0, double(data.rectangle.bottom) - data.rectangle.top);
    }
    const NSRect content = NSMakeRect(0, top - height, width, height);
    if (m_owner.isAutoDelete())
        setDeleteWindowObject(true);

    NSWindow* window = [[(Class)cls alloc] initWithContentRect:content
                                                     styleMask:WindowGeometry::styleMask(style, windowClass)
                                                       backing:NSBackingStoreBuffered
                                                         defer:YES];
    if (!window) {
        [pool release];
        return false;
    }
    if (windowClass == kPanel && (style & WindowBase::kStylePopUpMenuLevel)
        && [window respondsToSelector:@selector(setWorksWhenModal:)])
        [(NSPanel*)window setWorksWhenModal:YES];
    // This implementation holds the window and lets it go itself; GNUstep
    // would otherwise free it inside its own close while it is still used.
    [window setReleasedWhenClosed:NO];
    const WindowGeometry::eLevel level = WindowGeometry::level(style, windowClass);
    if (level != WindowGeometry::kLevelNormal)
        [window setLevel:platformLevel(level)];

    const double frameHeight = [window frame].size.height;
    const double left = (data.flags & WindowBase::kCreatePosition) ? data.rectangle.left : 100;
    const double upper = (data.flags & WindowBase::kCreatePosition) ? data.rectangle.top : 100;
    [window setFrameOrigin:NSMakePoint(left, WindowGeometry::platformBottom(upper, frameHeight, top))];

    if (style & WindowBase::kStyleTransparent) {
        [window setOpaque:NO];
        [window setBackgroundColor:[NSColor clearColor]];
        m_owner.setAlphaBlending(true);
    }
    if (data.flags & WindowBase::kCreateTitle)
        [window setTitle:[NSString stringWithUTF8String:data.getTitle()]];

    if (createView) {
        NSView* view = reinterpret_cast<NSView*>(View::createWithImplAndSize(this, width, height));
        if (!view) {
            [window close];
            [window release];
            [pool release];
            return false;
        }
        [view setAutoresizingMask:NSViewWidthSizable | NSViewHeightSizable];
        [[window contentView] addSubview:view];
        attach(view, window);
        [window setDelegate:(id)view];
        [window setInitialFirstResponder:nil];
        [window makeFirstResponder:view];
        [view release];
        // GNUstep draws every window again, whole, when a colour list
        // changes, and it reports one such change just after start, once it
        // has read its system colours: a second full draw of a page already
        // on the screen, which takes a second window-sized block of the
        // shared memory drawing goes to the display through. An opaque
        // window's view covers it and draws in its own colours; nothing in
        // it changes with GNUstep's.
        if (!(style & WindowBase::kStyleTransparent))
            [[NSNotificationCenter defaultCenter] removeObserver:window
                                                            name:NSColorListDidChangeNotification
                                                          object:nil];
    } else {
        id delegate = [[(Class)s_delegateClass alloc] init];
        delegateImpl(delegate) = this;
        m_delegate = delegate;
        [window setDelegate:delegate];
        [window setInitialFirstResponder:nil];
        [window makeFirstResponder:nil];
        attachWindow(window);
    }
    [window setAcceptsMouseMovedEvents:YES];
    [window release]; // attach retained it
    [pool release];

    EventData none;
    sendEvent(kEventWindowCreated, &none, false);
    applyResizeLimits();
    return true;
}

void WindowImpl::destroy()
{
    detachDelegate();
    WindowImplBase::destroy();
}

} // namespace QV::UIA::COCOA
