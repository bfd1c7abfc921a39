#pragma once

#include <QV/UIA/EventData.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace QV::UIA::DETAIL {

// What a platform key event carried, as far as key translation reads it.
struct PlatformKeyEvent {
    unsigned keyCode = 0;           // X keycode (the kernel's input code + 8)
    std::u16string characters;      // the characters, ignoring modifier keys
    unsigned long modifierFlags = 0; // the platform's modifier flags
    bool isRepeat = false;          // an auto-repeat of a key held down
};

// The view's keyboard state, one per view. Reset at every key up.
struct KeyInputState {
    // A key down is being processed (the view keeps the platform event).
    bool hasCurrentEvent = false;
    bool currentIsRepeat = false;
    // The key word of the current key down.
    std::uint32_t keyWord = 0;
    // The current key down was used as a shortcut or a menu key.
    bool shortcutHandled = false;
    // The result of the last text-input, marked-text or key-command step of
    // the input system on the current key.
    bool textHandled = false;
    // Key-down handlers of this view now running; guards against re-entry.
    int depth = 0;
    // The current key down was offered as a key equivalent and nobody took
    // it.
    bool declinedAsEquivalent = false;
};

// What the key path asks of the view it serves.
class KeyInputHost
{
public:
    virtual ~KeyInputHost() = default;

    // Whether the view is attached to a window implementation.
    virtual bool hasWindowImpl() const = 0;
    // Sends a key event to the window, forwarded to the application when
    // the window does not handle it; the handled flag.
    virtual bool sendKeyEvent(unsigned code, EventData& data) = 0;

    // Keeps the platform event being handled (a key down) in place of the
    // one kept before, or lets the kept one go (a key up).
    virtual void keepCurrentEvent() = 0;
    virtual void releaseCurrentEvent() = 0;
    // Whether the platform event being handled is the one kept.
    virtual bool isCurrentEvent() const = 0;

    // The window's text-input client, and whether its marked range is not
    // empty (a composition is in progress).
    virtual bool hasTextInputClient() const = 0;
    virtual bool hasMarkedText() const = 0;
    // Gives the current event to the platform's input system, which calls
    // back insertText, setMarkedText or KeyInput::doCommand.
    virtual void interpretCurrentEvent() = 0;

    // The application's accelerator command of a key word; 0 when none.
    virtual int acceleratorCommand(std::uint32_t keyWord) = 0;
    // Offers the current event to the application's main menu; true when a
    // menu item took it.
    virtual bool offerCurrentEventToMainMenu() = 0;

    // The built-in Command keys.
    virtual bool hasPlatformWindow() const = 0;
    virtual void selectAll() = 0; // discard marked text, then the client's command-A
    virtual void hideApplication(bool others) = 0;
    virtual void miniaturizeWindow() = 0;
    virtual void performCloseWindow() = 0;
};

// The view's key path as plain functions over a platform event record, so
// that it runs without a display. Key downs, key ups and modifier changes
// become the layer's key events; keys nobody handles are given back (false)
// so that the view passes them to the next responder.
//
// Thread affinity: main thread.
class KeyInput
{
public:
    enum eEventKind { kKeyDown, kKeyUp, kFlagsChanged, kOther };

    KeyInput(KeyInputHost& host, KeyInputState& state)
        : m_host(host)
        , m_state(state)
    {
    }

    // The key word of a key event (key code OR modifier bits); its position
    // key goes to `positionKey` when that is not null.
    static std::uint32_t convertKeyEventToUIA(const PlatformKeyEvent& event, unsigned* positionKey);

    bool handleKeyDown(const PlatformKeyEvent& event);
    // A key down from the platform: handled, or else given to `passOn` (the
    // next responder). GNUstep offers every key down as a key equivalent
    // first; a key that nobody took there is not sent a second time. The
    // view is still handling the key while the next responder has it, so
    // that the key offered back to the view does not arrive as a second key
    // down either: GNUstep's window does that for keys nobody took, once as
    // the key came and once more with the Command flag added, a key the
    // user never pressed.
    bool keyDown(const PlatformKeyEvent& event, const std::function<void()>& passOn);
    bool handleKeyUp(const PlatformKeyEvent& event);
    // Reports a modifier change; the view always passes the event on.
    void flagsChanged(const PlatformKeyEvent& event);
    // A key equivalent offered to the view: key downs and key ups are
    // handled as such, a modifier change is reported and not taken.
    bool performKeyEquivalent(eEventKind kind, const PlatformKeyEvent& event);
    // The input system's editing command `selector` (such as "moveLeft:")
    // for the current key.
    void doCommand(std::string_view selector);
    bool handleKeyShortcut();

    // The editing command of a selector; false for selectors without one.
    static bool keyCommandFor(std::string_view selector, KeyCommandEventData& command);
    // Empties the process-wide set of shortcut commands in progress.
    static void clearCommandsInProgress();

private:
    bool sendKeyDown(std::uint32_t keyWord, unsigned positionKey, bool firstPress);

    KeyInputHost& m_host;
    KeyInputState& m_state;
};

} // namespace QV::UIA::DETAIL
