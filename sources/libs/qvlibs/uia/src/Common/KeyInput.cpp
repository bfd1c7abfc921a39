#include "KeyInput.h"

#include <QV/UIA/CLI.h>
#include <QV/UIA/DETAIL/Keys.h>
#include <QV/UIA/EventCode.h>
#include <QV/UIA/KeyCode.h>

#include <map>
#include <set>
#include <string>

namespace QV::UIA::DETAIL {

namespace {

// The platform's function-key characters (the range AppKit and GNUstep
// share) that name a key of their own.
std::uint32_t functionKeyCode(char16_t c) noexcept
{
    switch (c) {
    case 0xF700: return kKeyUp;
    case 0xF701: return kKeyDown;
    case 0xF702: return kKeyLeft;
    case 0xF703: return kKeyRight;
    case 0xF727: return kKeyInsert;
    case 0xF728: return kKeyDeleteForward;
    case 0xF729: return kKeyHome;
    case 0xF72B: return kKeyEnd;
    case 0xF72C: return kKeyPageUp;
    case 0xF72D: return kKeyPageDown;
    case 0xF739: return kKeyClear;
    default: break;
    }
    if (c >= 0xF704 && c <= 0xF70F)
        return kKeyF1 + (c - 0xF704);
    return 0;
}

std::uint32_t controlKeyCode(char16_t c) noexcept
{
    switch (c) {
    case 8:
    case 127: return kKeyBackspace;
    case 9:
    case 0x19: return kKeyTab; // 0x19: back-tab
    case 13: return kKeyReturn;
    case 27: return kKeyEscape;
    default: return 0;
    }
}

// Shortcut commands whose handling is under way. A menu key equivalent that
// comes back to the view while its command runs finds its id here and is
// not run a second time.
std::set<unsigned>& commandsInProgress()
{
    static std::set<unsigned> commands;
    return commands;
}

// Undoes a change when the scope is left, however it is left, so that an
// early return or an exception cannot leave the view's state behind.
template <class Undo>
class ScopeGuard
{
public:
    explicit ScopeGuard(Undo undo)
        : m_undo(undo)
    {
    }
    ~ScopeGuard() { m_undo(); }
    ScopeGuard(const ScopeGuard&) = delete;
    ScopeGuard& operator=(const ScopeGuard&) = delete;

private:
    Undo m_undo;
};

const std::map<std::string, KeyCommandEventData, std::less<>>& keyCommands()
{
    static const auto commands = [] {
        using C = KeyCommandEventData;
        const struct {
            const char* selector;
            std::uint32_t command;
            std::uint32_t extend;
        } table[] = {
            {"moveLeft:", C::kMoveLeft, 0},
            {"moveLeftAndModifySelection:", C::kMoveLeft, 1},
            {"moveRight:", C::kMoveRight, 0},
            {"moveRightAndModifySelection:", C::kMoveRight, 1},
            {"moveUp:", C::kMoveUp, 0},
            {"moveUpAndModifySelection:", C::kMoveUp, 1},
            {"moveDown:", C::kMoveDown, 0},
            {"moveDownAndModifySelection:", C::kMoveDown, 1},
            {"moveToLeftEndOfLine:", C::kMoveToLineStart, 0},
            {"moveToLeftEndOfLineAndModifySelection:", C::kMoveToLineStart, 1},
            {"moveToRightEndOfLine:", C::kMoveToLineEnd, 0},
            {"moveToRightEndOfLineAndModifySelection:", C::kMoveToLineEnd, 1},
            {"deleteForward:", C::kDeleteForward, 0},
            {"deleteBackward:", C::kDeleteBackward, 0},
        };
        std::map<std::string, KeyCommandEventData, std::less<>> map;
        for (const auto& entry : table) {
            KeyCommandEventData data;
            data.command = entry.command;
            data.extendSelection = entry.extend;
            map.emplace(entry.selector, data);
        }
        return map;
    }();
    return commands;
}

} // namespace

std::uint32_t KeyInput::convertKeyEventToUIA(const PlatformKeyEvent& event, unsigned* positionKey)
{
    unsigned position = 0;
    std::uint32_t key = 0;
    if (event.characters.size() == 1) {
        const char16_t c = event.characters[0];
        if (std::uint32_t named = functionKeyCode(c); named != 0) {
            key = named;
            position = named;
        } else if (std::uint32_t control = controlKeyCode(c); control != 0) {
            key = control;
            position = control;
        } else if (event.keyCode < Keys::kTableSize) {
            key = Keys::macOSToUIA(event.keyCode, position);
            // A key the tables do not know names itself by its character,
            // but a control character would be taken for a named key
            // (Control+J types 10, the code of Home), so it names nothing.
            if (key == 0 && c >= 0x20 && c < 0x7f)
                key = (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c;
        }
    }
    if (positionKey)
        *positionKey = position;
    return key | modifiersFromPlatformFlags(event.modifierFlags);
}

bool KeyInput::sendKeyDown(std::uint32_t keyWord, unsigned positionKey, bool firstPress)
{
    KeyEventData data;
    data.keyWord = keyWord;
    data.positionKey = positionKey;
    data.firstPress = firstPress;
    return m_host.sendKeyEvent(kEventKeyDown, data);
}

bool KeyInput::handleKeyDown(const PlatformKeyEvent& event)
{
    if (m_state.depth > 0)
        return false;
    // Every way out lowers the depth again; a key down that ended early or
    // threw would otherwise lock the view's keyboard for good.
    ++m_state.depth;
    ScopeGuard lower([this] { --m_state.depth; });

    m_host.keepCurrentEvent();
    m_state.hasCurrentEvent = true;
    m_state.currentIsRepeat = event.isRepeat;

    if (!m_host.hasWindowImpl())
        return false;

    unsigned position = 0;
    const std::uint32_t keyWord = convertKeyEventToUIA(event, &position);
    m_state.keyWord = keyWord;
    const bool firstPress = !event.isRepeat;

    if ((keyWord & KeyEventData::kKeyCodeMask) != 0 || position != 0) {
        if (!m_host.hasMarkedText() && sendKeyDown(keyWord, position, firstPress))
            return true;
        // Only what the input system does with this key counts, not what
        // it did with an earlier one.
        m_state.textHandled = false;
        m_host.interpretCurrentEvent();
        if (m_state.textHandled || handleKeyShortcut()) {
            m_state.shortcutHandled = false;
            return true;
        }
        return false;
    }

    if (event.keyCode >= Keys::kTableSize)
        return false;
    const std::uint32_t key = Keys::macOSToUIA(event.keyCode, position);
    m_state.keyWord = key;
    if (key == 0 && position == 0)
        return false;
    return sendKeyDown(key, position, firstPress);
}

bool KeyInput::keyDown(const PlatformKeyEvent& event, const std::function<void()>& passOn)
{
    const bool declined = m_state.declinedAsEquivalent && m_host.isCurrentEvent();
    m_state.declinedAsEquivalent = false;
    if (!declined && handleKeyDown(event))
        return true;
    ++m_state.depth;
    ScopeGuard lower([this] { --m_state.depth; });
    passOn();
    return false;
}

bool KeyInput::handleKeyUp(const PlatformKeyEvent& event)
{
    m_host.releaseCurrentEvent();
    m_state.hasCurrentEvent = false;
    m_state.currentIsRepeat = false;
    m_state.keyWord = 0;
    m_state.shortcutHandled = false;
    m_state.textHandled = false;
    m_state.declinedAsEquivalent = false;

    if (!m_host.hasWindowImpl())
        return false;

    unsigned position = 0;
    std::uint32_t keyWord = convertKeyEventToUIA(event, &position);
    // The same test as for the key down: modifier bits alone name no key,
    // and a key up must not arrive for a key whose key down never did.
    if ((keyWord & KeyEventData::kKeyCodeMask) == 0 && position == 0) {
        if (event.keyCode >= Keys::kTableSize)
            return false;
        keyWord = Keys::macOSToUIA(event.keyCode, position);
        if (keyWord == 0 && position == 0)
            return false;
    }
    KeyEventData data;
    data.keyWord = keyWord;
    data.positionKey = position;
    return m_host.sendKeyEvent(kEventKeyUp, data);
}

void KeyInput::flagsChanged(const PlatformKeyEvent& event)
{
    if (!m_host.hasWindowImpl())
        return;
    ModifierKeysEventData data;
    data.modifiers = modifiersFromPlatformFlags(event.modifierFlags);
    data.platformKeyCode = event.keyCode & 0xffffu;
    m_host.sendKeyEvent(kEventModifierKeys, data);
}

bool KeyInput::performKeyEquivalent(eEventKind kind, const PlatformKeyEvent& event)
{
    if (!m_host.hasWindowImpl())
        return false;
    switch (kind) {
    case kFlagsChanged: flagsChanged(event); return false;
    case kKeyUp: return handleKeyUp(event);
    case kKeyDown: {
        if (handleKeyDown(event))
            return true;
        m_state.declinedAsEquivalent = m_state.depth == 0 && m_host.isCurrentEvent();
        return false;
    }
    case kOther: break;
    }
    return false;
}

bool KeyInput::keyCommandFor(std::string_view selector, KeyCommandEventData& command)
{
    const auto& commands = keyCommands();
    const auto found = commands.find(selector);
    if (found == commands.end())
        return false;
    command = found->second;
    return true;
}

void KeyInput::doCommand(std::string_view selector)
{
    KeyCommandEventData command;
    if (m_host.hasTextInputClient() && keyCommandFor(selector, command)
        && m_host.sendKeyEvent(kEventKeyCommand, command)) {
        m_state.textHandled = true;
        return;
    }
    m_state.textHandled = handleKeyShortcut();
}

bool KeyInput::handleKeyShortcut()
{
    if (m_state.shortcutHandled)
        return true;
    // Auto-repeats of a shortcut do not run its command again.
    if (!m_host.hasWindowImpl() || AppTarget::instance() != 1 || !m_state.hasCurrentEvent
        || m_state.currentIsRepeat)
        return m_state.shortcutHandled;

    const int command = m_host.acceleratorCommand(m_state.keyWord);
    // Quitting is left to the platform's own menu key equivalent.
    if (command >= 1 && static_cast<unsigned>(command) != kCommandQuit) {
        const auto id = static_cast<unsigned>(command);
        auto& inProgress = commandsInProgress();
        if (inProgress.count(id) != 0) {
            m_state.shortcutHandled = true;
            return true;
        }
        inProgress.insert(id);
        {
            ScopeGuard done([&inProgress, id] { inProgress.erase(id); });
            if (m_host.offerCurrentEventToMainMenu()) {
                m_state.shortcutHandled = true;
            } else {
                CommandEventData data;
                data.commandId = id;
                if (m_host.sendKeyEvent(kEventCommand, data))
                    m_state.shortcutHandled = true;
            }
        }
        if (m_state.shortcutHandled)
            return true;
    }

    if ((m_state.keyWord & kModifierCommand) == 0 || !m_host.hasPlatformWindow())
        return false;
    switch (m_state.keyWord & KeyEventData::kKeyCodeMask) {
    case 'A': m_host.selectAll(); break;
    case 'H': m_host.hideApplication((m_state.keyWord & kModifierShift) != 0); break;
    case 'M': m_host.miniaturizeWindow(); break;
    case 'W': m_host.performCloseWindow(); break;
    default: return false;
    }
    m_state.shortcutHandled = true;
    return true;
}

void KeyInput::clearCommandsInProgress()
{
    commandsInProgress().clear();
}

} // namespace QV::UIA::DETAIL
