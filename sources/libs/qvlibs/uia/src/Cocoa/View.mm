#include "View.h"

#include <QV/GP/OBJC/ClassFactory.h>
#include <QV/UIA/Application.h>
#include <QV/UIA/CLI.h>
#include <QV/UIA/CursorManager.h>
#include <QV/UIA/DragDropManager.h>
#include <QV/UIA/EventData.h>
#include <QV/UIA/Lib.h>
#include <QV/UIA/WindowBase.h>

#include "GNUstepHeaders.h"
#include "InputTime.h"
#include "KeyEventRecord.h"
#include "ObjCMethod.h"
#include "ViewDragging.h"
#include "WindowImplBase.h"

#include <cmath>
#include <string>

using QV::UIA::COCOA::asIMP;
using QV::UIA::COCOA::superImplementation;
using QV::UIA::COCOA::View;
using QV::UIA::COCOA::WindowImplBase;

namespace {

namespace UIA = QV::UIA;

objc_class* s_viewClass = Nil;
View::DragViewData s_dragViewData;

// What a view keeps besides its implementation: the key being processed
// and what became of it, its tracking rectangle, and whether the platform's
// close of its window is being reported.
struct TextInputState {
    NSEvent* currentKeyEvent = nil; // retained
    UIA::DETAIL::KeyInputState keys;
    NSTrackingRectTag trackingTag = 0;
    bool closing = false;
};

template <typename T>
T& ivar(id self, const char* name)
{
    Ivar variable = class_getInstanceVariable(object_getClass(self), name);
    return *reinterpret_cast<T*>(reinterpret_cast<char*>(self) + ivar_getOffset(variable));
}

WindowImplBase*& implOf(id self)
{
    return ivar<WindowImplBase*>(self, "pImpl");
}

TextInputState*& stateOf(id self)
{
    return ivar<TextInputState*>(self, "pTextInputState");
}

template <typename Result = void, typename... Args>
Result callSuper(id self, SEL command, Args... args)
{
    using Method = Result (*)(id, SEL, Args...);
    return reinterpret_cast<Method>(reinterpret_cast<void (*)()>(superImplementation(self, command)))(self, command,
                                                                                                      args...);
}

// A handler may destroy the window and with it the view: the view then
// lives on until the current event's pool drains.
void keepAlive(id self)
{
    [[self retain] autorelease];
}

bool send(id self, unsigned code, UIA::EventData& data, bool forward = false)
{
    WindowImplBase* impl = implOf(self);
    return impl && impl->sendEvent(code, &data, forward);
}

bool sendNone(id self, unsigned code)
{
    UIA::EventData none;
    return send(self, code, none);
}

// ---- Tracking --------------------------------------------------------------

// GNUstep has no tracking areas: a tracking rectangle over the view gives
// the enter and exit notices, and the window's mouse-moved events the
// motion.
void updateTrackingRect(NSView* self)
{
    TextInputState* state = stateOf(self);
    if (!state)
        return;
    if (state->trackingTag) {
        [self removeTrackingRect:state->trackingTag];
        state->trackingTag = 0;
    }
    if ([self window])
        state->trackingTag = [self addTrackingRect:[self bounds] owner:self userData:nullptr assumeInside:NO];
}

// ---- Life ------------------------------------------------------------------

id viewInitWithImplAndSize(id self, SEL, void* impl, NSSize size)
{
    using Init = id (*)(id, SEL, NSRect);
    self = reinterpret_cast<Init>(reinterpret_cast<void (*)()>(superImplementation(self, @selector(initWithFrame:))))(
        self, @selector(initWithFrame:), NSMakeRect(0, 0, size.width, size.height));
    if (!self)
        return nil;
    implOf(self) = static_cast<WindowImplBase*>(impl);
    stateOf(self) = new TextInputState;
    [self setPostsFrameChangedNotifications:YES];
    [self setPostsBoundsChangedNotifications:YES];
    NSNotificationCenter* centre = [NSNotificationCenter defaultCenter];
    [centre addObserver:self selector:@selector(frameDidChanged:) name:NSViewFrameDidChangeNotification object:self];
    [centre addObserver:self selector:@selector(frameDidChanged:) name:NSViewBoundsDidChangeNotification object:self];
    QV::UIA::COCOA::registerViewDragTypes(self);
    return self;
}

void viewDealloc(id self, SEL command)
{
    [[NSNotificationCenter defaultCenter] removeObserver:self];
    if (TextInputState* state = stateOf(self)) {
        [state->currentKeyEvent release];
        delete state;
        stateOf(self) = nullptr;
    }
    if (s_dragViewData.view == self) {
        [reinterpret_cast<NSEvent*>(s_dragViewData.event) release];
        s_dragViewData = {};
    }
    // A view that goes while still attached reports its window gone; it is
    // detached first, so that nothing reaches it while that is reported.
    if (WindowImplBase* impl = implOf(self)) {
        implOf(self) = nullptr;
        if (!impl->isModalDialog())
            impl->onPlatformClose();
    }
    callSuper(self, command);
}

void viewDidMoveToWindow(id self, SEL)
{
    updateTrackingRect(self);
}

BOOL answerYes(id, SEL)
{
    return YES;
}

BOOL answerYesTo(id, SEL, id)
{
    return YES;
}

BOOL viewWantsDefaultClipping(id, SEL)
{
    return UIA::Lib::s_bCocoaDrawRectUnion ? YES : NO;
}

BOOL viewIsOpaque(id self, SEL)
{
    WindowImplBase* impl = implOf(self);
    return impl && !impl->getOwner().hasAlphaBlending() ? YES : NO;
}

// ---- Painting --------------------------------------------------------------

void viewDrawRect(id self, SEL, NSRect dirty)
{
    WindowImplBase* impl = implOf(self);
    if (!impl)
        return;
    keepAlive(self);
    UIA::DeviceContext* context = impl->attachDCTo([NSGraphicsContext currentContext]);
    UIA::Application* application = UIA::Application::getApplication();
    context->setScale(application && application->isHighResolutionDrawing() ? impl->getBackingScaleFactor() : 1.0f);
    // Whole points around the area being drawn.
    context->setPaintArea({static_cast<std::int32_t>(std::floor(dirty.origin.x)),
                           static_cast<std::int32_t>(std::floor(dirty.origin.y)),
                           static_cast<std::int32_t>(std::ceil(dirty.origin.x + dirty.size.width)),
                           static_cast<std::int32_t>(std::ceil(dirty.origin.y + dirty.size.height))});
    UIA::PaintEventData paint;
    paint.deviceContext = context;
    impl->sendEvent(UIA::kEventPaint, &paint, false);
    // A paint handler that destroys its window leaves no implementation.
    if (implOf(self) == impl)
        impl->detachDC();
}

void viewSetFrameSize(id self, SEL command, NSSize size)
{
    callSuper<void, NSSize>(self, command, size);
    updateTrackingRect(self);
    sendNone(self, UIA::kEventWindowSized);
}

void viewSetFrameOrigin(id self, SEL command, NSPoint origin)
{
    callSuper<void, NSPoint>(self, command, origin);
    sendNone(self, UIA::kEventWindowMoved);
}

void viewFrameDidChange(id self, SEL, NSNotification*)
{
    sendNone(self, UIA::kEventWindowSized);
}

void viewDidChangeBackingProperties(id self, SEL)
{
    WindowImplBase* impl = implOf(self);
    UIA::Application* application = UIA::Application::getApplication();
    if (!impl || !application || !application->isHighResolutionDrawing() || !impl->getNativeWindow())
        return;
    UIA::BackingScaleEventData data;
    data.scale = impl->getBackingScaleFactor();
    impl->sendEvent(UIA::kEventBackingScaleChanged, &data, false);
}

// ---- Mouse -----------------------------------------------------------------

UIA::DETAIL::MouseSample sampleOf(NSView* self, NSEvent* event, UIA::DETAIL::MouseSample::eKind kind)
{
    UIA::DETAIL::MouseSample sample;
    sample.kind = kind;
    const NSPoint at = [self convertPoint:[event locationInWindow] fromView:nil];
    sample.x = at.x;
    sample.y = at.y;
    sample.modifiers = UIA::modifiersFromPlatformFlags([event modifierFlags]);
    const NSEventType type = [event type];
    const bool buttonEvent = type != NSMouseEntered && type != NSMouseExited && type != NSScrollWheel;
    if (buttonEvent) {
        sample.platformButton = static_cast<std::uint32_t>([event buttonNumber]);
        if (type == NSLeftMouseDown || type == NSLeftMouseUp || type == NSLeftMouseDragged)
            sample.platformButton = 0;
        else if (type == NSRightMouseDown || type == NSRightMouseUp || type == NSRightMouseDragged)
            sample.platformButton = 1;
        if (type != NSMouseMoved && type != NSLeftMouseDragged && type != NSRightMouseDragged
            && type != NSOtherMouseDragged)
            sample.clickCount = static_cast<long>([event clickCount]);
    }
    sample.deltaX = [event deltaX];
    sample.deltaY = [event deltaY];
    if (kind == UIA::DETAIL::MouseSample::kPress)
        sample.madeAt = QV::UIA::COCOA::whenMade([event timestamp]);
    return sample;
}

// The drag record follows every button and motion event, so that a drag
// started from one finds its source. It holds the event until the next one
// replaces it: a drag may start after the event's pool has drained.
void recordForDrag(NSView* self, NSEvent* event, const UIA::DETAIL::MouseSample& sample)
{
    [event retain];
    [reinterpret_cast<NSEvent*>(s_dragViewData.event) release];
    s_dragViewData.view = self;
    s_dragViewData.event = event;
    s_dragViewData.x = std::trunc(sample.x);
    s_dragViewData.y = std::trunc(sample.y);
}

bool handleMouse(id self, NSEvent* event, UIA::DETAIL::MouseSample::eKind kind)
{
    keepAlive(self);
    WindowImplBase* impl = implOf(self);
    const UIA::DETAIL::MouseSample sample = sampleOf(self, event, kind);
    if (kind != UIA::DETAIL::MouseSample::kEnter && kind != UIA::DETAIL::MouseSample::kExit
        && kind != UIA::DETAIL::MouseSample::kWheel)
        recordForDrag(self, event, sample);
    if (!impl)
        return false;
    return impl->mouse().handle(sample);
}

// Buttons and motion that the window does not take go on to the platform.
void mouseButtonOrMotion(id self, SEL command, NSEvent* event, UIA::DETAIL::MouseSample::eKind kind)
{
    if (!handleMouse(self, event, kind))
        callSuper<void, NSEvent*>(self, command, event);
}

void viewMouseDown(id self, SEL command, NSEvent* event)
{
    mouseButtonOrMotion(self, command, event, UIA::DETAIL::MouseSample::kPress);
}

void viewMouseUp(id self, SEL command, NSEvent* event)
{
    mouseButtonOrMotion(self, command, event, UIA::DETAIL::MouseSample::kRelease);
}

void viewOtherMouseDown(id self, SEL command, NSEvent* event)
{
    // Only the middle button is known; the others stay with the platform.
    if ([event buttonNumber] != 2)
        callSuper<void, NSEvent*>(self, command, event);
    else
        mouseButtonOrMotion(self, command, event, UIA::DETAIL::MouseSample::kPress);
}

void viewOtherMouseUp(id self, SEL command, NSEvent* event)
{
    if ([event buttonNumber] != 2)
        callSuper<void, NSEvent*>(self, command, event);
    else
        mouseButtonOrMotion(self, command, event, UIA::DETAIL::MouseSample::kRelease);
}

void viewMouseMoved(id self, SEL command, NSEvent* event)
{
    mouseButtonOrMotion(self, command, event, UIA::DETAIL::MouseSample::kMove);
}

void viewMouseDragged(id self, SEL command, NSEvent* event)
{
    mouseButtonOrMotion(self, command, event, UIA::DETAIL::MouseSample::kDrag);
}

void viewCursorUpdate(id self, SEL command, NSEvent* event);

void viewMouseEntered(id self, SEL, NSEvent* event)
{
    handleMouse(self, event, UIA::DETAIL::MouseSample::kEnter);
    // Tracking rectangles give no cursor updates of their own. A drag shows
    // its own cursor while it runs.
    if (UIA::DragDropManager::isAnyDragRunning())
        return;
    if (WindowImplBase* impl = implOf(self))
        if (impl->getCurrentCursor())
            UIA::CursorManager::setSystemCursor(impl->getCurrentCursor());
}

void viewMouseExited(id self, SEL, NSEvent* event)
{
    handleMouse(self, event, UIA::DETAIL::MouseSample::kExit);
}

void viewScrollWheel(id self, SEL, NSEvent* event)
{
    handleMouse(self, event, UIA::DETAIL::MouseSample::kWheel);
}

void viewCursorUpdate(id self, SEL command, NSEvent* event)
{
    WindowImplBase* impl = implOf(self);
    if (impl && impl->getCurrentCursor()) {
        UIA::CursorManager::setSystemCursor(impl->getCurrentCursor());
        return;
    }
    [[self nextResponder] tryToPerform:command with:event];
}

// ---- Keys ------------------------------------------------------------------

// The view as the key path sees it, for the one platform event being
// handled.
class ViewKeyHost : public UIA::DETAIL::KeyInputHost
{
public:
    ViewKeyHost(NSView* view, TextInputState& state, NSEvent* event)
        : m_view(view)
        , m_state(state)
        , m_event(event)
    {
    }

    bool hasWindowImpl() const override { return implOf(m_view) != nullptr; }
    bool sendKeyEvent(unsigned code, UIA::EventData& data) override { return send(m_view, code, data, true); }
    void keepCurrentEvent() override
    {
        // The new event is retained first: it may be the one kept already.
        [m_event retain];
        [m_state.currentKeyEvent release];
        m_state.currentKeyEvent = m_event;
    }
    void releaseCurrentEvent() override
    {
        [m_state.currentKeyEvent release];
        m_state.currentKeyEvent = nil;
    }
    bool isCurrentEvent() const override { return m_event && m_event == m_state.currentKeyEvent; }
    // No text-input client is installed in this system.
    bool hasTextInputClient() const override { return false; }
    bool hasMarkedText() const override { return false; }
    void interpretCurrentEvent() override { [m_view interpretKeyEvents:[NSArray arrayWithObject:m_event]]; }
    int acceleratorCommand(std::uint32_t keyWord) override
    {
        UIA::Application* application = UIA::Application::getApplication();
        return application ? application->getAccelerators().impl().getCommand(keyWord) : 0;
    }
    bool offerCurrentEventToMainMenu() override
    {
        NSEvent* current = m_state.currentKeyEvent;
        return current && [[NSApp mainMenu] performKeyEquivalent:current];
    }
    bool hasPlatformWindow() const override { return [m_view window] != nil; }
    void selectAll() override { [static_cast<id>(m_view) unmarkText]; }
    void hideApplication(bool others) override
    {
        if (others)
            [NSApp hideOtherApplications:nil];
        else
            [NSApp hide:nil];
    }
    void miniaturizeWindow() override { [[m_view window] miniaturize:nil]; }
    void performCloseWindow() override { [[m_view window] performClose:nil]; }

private:
    NSView* m_view;
    TextInputState& m_state;
    NSEvent* m_event;
};

// Runs one step of the key path for `event`, with the view (and so its
// state) kept alive while the step still uses them.
template <typename Step>
auto withKeyInput(id self, NSEvent* event, Step step) -> decltype(step(std::declval<UIA::DETAIL::KeyInput&>()))
{
    TextInputState* state = stateOf(self);
    if (!state)
        return {};
    keepAlive(self);
    ViewKeyHost host(self, *state, event);
    UIA::DETAIL::KeyInput input(host, state->keys);
    return step(input);
}

bool handleKeyUp(id self, NSEvent* event)
{
    return withKeyInput(self, event, [=](UIA::DETAIL::KeyInput& input) {
        return input.handleKeyUp(UIA::DETAIL::keyEventRecordOf(event));
    });
}

void viewKeyDown(id self, SEL command, NSEvent* event)
{
    const bool taken = withKeyInput(self, event, [=](UIA::DETAIL::KeyInput& input) {
        return input.keyDown(UIA::DETAIL::keyEventRecordOf(event),
                             [=] { [[self nextResponder] tryToPerform:command with:event]; });
    });
    // A view without its state never reached the key path: the key goes on
    // from here.
    if (!taken && !stateOf(self))
        [[self nextResponder] tryToPerform:command with:event];
}

void viewKeyUp(id self, SEL command, NSEvent* event)
{
    if (!handleKeyUp(self, event))
        [[self nextResponder] tryToPerform:command with:event];
}

void viewFlagsChanged(id self, SEL command, NSEvent* event)
{
    withKeyInput(self, event, [=](UIA::DETAIL::KeyInput& input) {
        input.flagsChanged(UIA::DETAIL::keyEventRecordOf(event));
        return true;
    });
    [[self nextResponder] tryToPerform:command with:event];
}

BOOL viewPerformKeyEquivalent(id self, SEL, NSEvent* event)
{
    using UIA::DETAIL::KeyInput;
    const NSEventType type = [event type];
    const KeyInput::eEventKind kind = type == NSKeyDown        ? KeyInput::kKeyDown
                                      : type == NSKeyUp        ? KeyInput::kKeyUp
                                      : type == NSFlagsChanged ? KeyInput::kFlagsChanged
                                                               : KeyInput::kOther;
    return withKeyInput(self, event, [=](KeyInput& input) {
               return input.performKeyEquivalent(kind, UIA::DETAIL::keyEventRecordOf(event));
           })
               ? YES
               : NO;
}

void viewDoCommandBySelector(id self, SEL, SEL selector)
{
    TextInputState* state = stateOf(self);
    if (!state)
        return;
    const char* name = sel_getName(selector);
    withKeyInput(self, state->currentKeyEvent, [=](UIA::DETAIL::KeyInput& input) {
        input.doCommand(name ? name : "");
        return true;
    });
}

// ---- Text input ------------------------------------------------------------

std::string utf8Of(id text)
{
    if ([text isKindOfClass:[NSAttributedString class]])
        text = [text string];
    if (![text isKindOfClass:[NSString class]])
        return {};
    const char* bytes = [static_cast<NSString*>(text) UTF8String];
    return bytes ? bytes : "";
}

void viewInsertText(id self, SEL, id text)
{
    const std::string utf8 = utf8Of(text);
    TextInputState* state = stateOf(self);
    if (utf8.empty() || !implOf(self))
        return;
    UIA::TextInputEventData data;
    data.text = utf8;
    const bool handled = send(self, UIA::kEventTextInput, data, true);
    if (state && stateOf(self) == state)
        state->keys.textHandled = handled;
}

void viewInsertTextReplacing(id self, SEL command, id text, NSRange)
{
    viewInsertText(self, command, text);
}

void viewSetMarkedText(id self, SEL, id text, NSRange selected)
{
    TextInputState* state = stateOf(self);
    if (!text || !implOf(self))
        return;
    UIA::MarkedTextEventData data;
    data.text = utf8Of(text);
    data.caret = selected.location + selected.length;
    const bool handled = send(self, UIA::kEventMarkedText, data, true);
    if (state && stateOf(self) == state)
        state->keys.textHandled = handled;
}

void viewSetMarkedTextReplacing(id self, SEL command, id text, NSRange selected, NSRange)
{
    viewSetMarkedText(self, command, text, selected);
}

// No text-input client is installed in this system: nothing is marked or
// selected.
BOOL viewHasMarkedText(id, SEL)
{
    return NO;
}

NSRange viewNoRange(id, SEL)
{
    return NSMakeRange(NSNotFound, 0);
}

void viewUnmarkText(id, SEL)
{
}

id viewValidAttributes(id, SEL)
{
    return [NSArray array];
}

id viewAttributedSubstring(id, SEL, NSRange, NSRangePointer)
{
    return [[[NSAttributedString alloc] initWithString:@""] autorelease];
}

NSUInteger viewCharacterIndexForPoint(id, SEL, NSPoint)
{
    return 0;
}

NSRect viewFirstRectForCharacterRange(id, SEL, NSRange, NSRangePointer)
{
    return NSZeroRect;
}

// ---- Window notices --------------------------------------------------------

BOOL viewWindowShouldClose(id self, SEL, id)
{
    UIA::CloseRequestEventData request;
    if (!implOf(self))
        return YES;
    send(self, UIA::kEventCloseRequest, request);
    return request.allow ? YES : NO;
}

void viewWindowWillClose(id self, SEL, NSNotification*)
{
    TextInputState* state = stateOf(self);
    WindowImplBase* impl = implOf(self);
    // The guard is the window's own: a handler that closes other windows
    // must not keep their notices from being reported.
    if (!impl || !state || state->closing)
        return;
    keepAlive(self);
    state->closing = true;
    implOf(self) = nullptr;
    impl->onPlatformClose();
    if (stateOf(self) == state)
        state->closing = false;
}

void viewWindowDidBecomeMain(id self, SEL, NSNotification*)
{
    sendNone(self, UIA::kEventWindowBecameMain);
}

void viewWindowDidResignMain(id self, SEL, NSNotification*)
{
    sendNone(self, UIA::kEventWindowResignedMain);
}

void viewWindowDidBecomeKey(id self, SEL, NSNotification*)
{
    sendNone(self, UIA::kEventKeyFocusGained);
}

void viewWindowDidResignKey(id self, SEL, NSNotification*)
{
    sendNone(self, UIA::kEventKeyFocusLostLate);
    sendNone(self, UIA::kEventKeyFocusLost);
}

NSSize viewWindowWillResize(id self, SEL, NSWindow*, NSSize proposed)
{
    double width = proposed.width;
    double height = proposed.height;
    WindowImplBase::proposeFrameSize(implOf(self), width, height);
    return NSMakeSize(width, height);
}

// GNUstep (Debian 12) takes the size the X server reports as it comes: where
// no window manager keeps the size hints, another program can resize the
// window past the limits it gave.
void viewWindowDidResize(id self, SEL, NSNotification*)
{
    WindowImplBase::keepInsideResizeLimits(implOf(self));
}

// ---- Dragging source -------------------------------------------------------

NSUInteger viewDraggingSourceOperationMask(id, SEL, BOOL)
{
    return static_cast<NSUInteger>(s_dragViewData.localOperations);
}

BOOL viewIgnoreModifierKeysWhileDragging(id, SEL)
{
    return s_dragViewData.modifierPolicy < 2 ? YES : NO;
}

// ---- The class -------------------------------------------------------------

std::string types(std::initializer_list<const char*> parts)
{
    std::string result;
    for (const char* part : parts)
        result += part;
    return result;
}

struct ViewClassFactory {
    ViewClassFactory()
    {
        s_dragViewData = {};
        UIA::DETAIL::KeyInput::clearCommandsInProgress();
        if (!factory.generateUniqueClass("QVCocoaView", "NSView"))
            return;
        factory.addProtocol("NSTextInputClient");
        factory.addMemberVar("pImpl", sizeof(void*), 3, "^v");
        factory.addMemberVar("pTextInputState", sizeof(void*), 3, "^v");
        const std::string event = "v@:@";
        const std::string yes = "c@:";
        add(@selector(initWithImpl:andSize:), asIMP(viewInitWithImplAndSize), types({"@@:^v", @encode(NSSize)}));
        add(@selector(dealloc), asIMP(viewDealloc), "v@:");
        add(@selector(viewDidMoveToWindow), asIMP(viewDidMoveToWindow), "v@:");
        for (SEL answer : {@selector(isFlipped), @selector(acceptsFirstResponder), @selector(becomeFirstResponder),
                           @selector(canBecomeKeyView)})
            add(answer, asIMP(answerYes), yes);
        add(@selector(acceptsFirstMouse:), asIMP(answerYesTo), "c@:@");
        add(@selector(wantsDefaultClipping), asIMP(viewWantsDefaultClipping), yes);
        add(@selector(isOpaque), asIMP(viewIsOpaque), yes);
        add(@selector(drawRect:), asIMP(viewDrawRect), types({"v@:", @encode(NSRect)}));
        add(@selector(setFrameSize:), asIMP(viewSetFrameSize), types({"v@:", @encode(NSSize)}));
        add(@selector(setFrameOrigin:), asIMP(viewSetFrameOrigin), types({"v@:", @encode(NSPoint)}));
        add(@selector(frameDidChanged:), asIMP(viewFrameDidChange), event);
        add(@selector(viewDidChangeBackingProperties), asIMP(viewDidChangeBackingProperties), "v@:");
        add(@selector(mouseDown:), asIMP(viewMouseDown), event);
        add(@selector(rightMouseDown:), asIMP(viewMouseDown), event);
        add(@selector(otherMouseDown:), asIMP(viewOtherMouseDown), event);
        add(@selector(mouseUp:), asIMP(viewMouseUp), event);
        add(@selector(rightMouseUp:), asIMP(viewMouseUp), event);
        add(@selector(otherMouseUp:), asIMP(viewOtherMouseUp), event);
        add(@selector(mouseMoved:), asIMP(viewMouseMoved), event);
        add(@selector(mouseDragged:), asIMP(viewMouseDragged), event);
        add(@selector(rightMouseDragged:), asIMP(viewMouseDragged), event);
        add(@selector(otherMouseDragged:), asIMP(viewMouseDragged), event);
        add(@selector(mouseEntered:), asIMP(viewMouseEntered), event);
        add(@selector(mouseExited:), asIMP(viewMouseExited), event);
        add(@selector(scrollWheel:), asIMP(viewScrollWheel), event);
        add(@selector(cursorUpdate:), asIMP(viewCursorUpdate), event);
        add(@selector(keyDown:), asIMP(viewKeyDown), event);
        add(@selector(keyUp:), asIMP(viewKeyUp), event);
        add(@selector(flagsChanged:), asIMP(viewFlagsChanged), event);
        add(@selector(performKeyEquivalent:), asIMP(viewPerformKeyEquivalent), "c@:@");
        add(@selector(doCommandBySelector:), asIMP(viewDoCommandBySelector), "v@::");
        const std::string range = @encode(NSRange);
        add(@selector(insertText:), asIMP(viewInsertText), event);
        add(@selector(insertText:replacementRange:), asIMP(viewInsertTextReplacing), types({"v@:@", range.c_str()}));
        add(@selector(setMarkedText:selectedRange:), asIMP(viewSetMarkedText), types({"v@:@", range.c_str()}));
        add(@selector(setMarkedText:selectedRange:replacementRange:), asIMP(viewSetMarkedTextReplacing),
            types({"v@:@", range.c_str(), range.c_str()}));
        add(@selector(unmarkText), asIMP(viewUnmarkText), "v@:");
        add(@selector(hasMarkedText), asIMP(viewHasMarkedText), yes);
        add(@selector(markedRange), asIMP(viewNoRange), types({range.c_str(), "@:"}));
        add(@selector(selectedRange), asIMP(viewNoRange), types({range.c_str(), "@:"}));
        add(@selector(validAttributesForMarkedText), asIMP(viewValidAttributes), "@@:");
        add(@selector(attributedSubstringForProposedRange:actualRange:), asIMP(viewAttributedSubstring),
            types({"@@:", range.c_str(), "^", range.c_str()}));
        add(@selector(characterIndexForPoint:), asIMP(viewCharacterIndexForPoint),
            types({@encode(NSUInteger), "@:", @encode(NSPoint)}));
        add(@selector(firstRectForCharacterRange:actualRange:), asIMP(viewFirstRectForCharacterRange),
            types({@encode(NSRect), "@:", range.c_str(), "^", range.c_str()}));
        add(@selector(windowShouldClose:), asIMP(viewWindowShouldClose), "c@:@");
        add(@selector(windowWillClose:), asIMP(viewWindowWillClose), event);
        add(@selector(windowDidBecomeMain:), asIMP(viewWindowDidBecomeMain), event);
        add(@selector(windowDidResignMain:), asIMP(viewWindowDidResignMain), event);
        add(@selector(windowDidBecomeKey:), asIMP(viewWindowDidBecomeKey), event);
        add(@selector(windowDidResignKey:), asIMP(viewWindowDidResignKey), event);
        add(@selector(windowWillResize:toSize:), asIMP(viewWindowWillResize),
            types({@encode(NSSize), "@:@", @encode(NSSize)}));
        add(@selector(windowDidResize:), asIMP(viewWindowDidResize), event);
        add(@selector(draggingSourceOperationMaskForLocal:), asIMP(viewDraggingSourceOperationMask),
            types({@encode(NSUInteger), "@:c"}));
        add(@selector(ignoreModifierKeysWhileDragging), asIMP(viewIgnoreModifierKeysWhileDragging), yes);
        addDraggingMethods();
        factory.doRegister();
    }
    // The view as a drag destination, and as the source of the drags it
    // starts (ViewDragging.mm).
    void addDraggingMethods()
    {
        using namespace QV::UIA::COCOA;
        const std::string operation = @encode(NSDragOperation);
        add(@selector(draggingEntered:), asIMP(viewDraggingEntered), types({operation.c_str(), "@:@"}));
        add(@selector(draggingUpdated:), asIMP(viewDraggingEntered), types({operation.c_str(), "@:@"}));
        add(@selector(prepareForDragOperation:), asIMP(viewPrepareForDragOperation), "c@:@");
        add(@selector(performDragOperation:), asIMP(viewPerformDragOperation), "c@:@");
        add(@selector(draggingExited:), asIMP(viewDraggingExited), "v@:@");
        add(@selector(draggedImage:endedAt:operation:), asIMP(viewDraggedImageEndedAt),
            types({"v@:@", @encode(NSPoint), operation.c_str()}));
    }
    void add(SEL selector, IMP implementation, const std::string& typeString)
    {
        factory.addMethod(selector, implementation, typeString.c_str());
    }
    QV::GP::OBJC::ClassFactory factory{s_viewClass};
} s_viewClassFactory;

} // namespace

namespace QV::UIA::COCOA {

void* View::createWithImplAndSize(WindowImplBase* impl, double width, double height)
{
    if (!s_viewClass)
        return nullptr;
    using Init = id (*)(id, SEL, void*, NSSize);
    id view = [(Class)s_viewClass alloc];
    SEL init = @selector(initWithImpl:andSize:);
    return reinterpret_cast<Init>(reinterpret_cast<void (*)()>(class_getMethodImplementation(object_getClass(view), init)))(
        view, init, impl, NSMakeSize(width, height));
}

void View::detachImpl(void* view)
{
    if (view)
        implOf(reinterpret_cast<id>(view)) = nullptr;
}

WindowImplBase* View::getImpl(void* view)
{
    return view ? implOf(reinterpret_cast<id>(view)) : nullptr;
}

bool View::getDragViewData(DragViewData*& out)
{
    out = &s_dragViewData;
    return true;
}

} // namespace QV::UIA::COCOA
