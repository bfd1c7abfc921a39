#include <QV/GP/Assertion.h>
#include <QV/GP/Lib.h>
#include <QV/UIA/AsyncEventTarget.h>
#include <QV/UIA/CursorManager.h>
#include <QV/UIA/DETAIL/Keys.h>
#include <QV/UIA/Lib.h>

namespace QV::UIA {

bool Lib::s_bInitialized = false;
bool Lib::s_bLayerInitialized = false;
bool Lib::s_bMenuInitialized = false;
bool Lib::s_bCocoaDrawRectUnion = true;

namespace {

// Where a wrong version or flavour is reported; the lines are part of the
// reports users send in and stay fixed.
constexpr const char* kSourceName = "Init_UIA";
constexpr int kLineVersion = 150;
constexpr int kLineFlavour = 153;
constexpr int kLineFlavourHighBits = 156;

CursorManager::RegistrationHandle s_cursorRegistration;

} // namespace

bool Lib::tryInit(int version, int flavour)
{
    GP::Lib::checkVersionAndFlavour(GP::Lib::kVersion, GP::Lib::kFlavour);
    if (version != kVersion)
        GP::Assertion::DoFail(kSourceName, kLineVersion, "platform layer version mismatch");
    if ((flavour & 0xffff) != kFlavour)
        GP::Assertion::DoFail(kSourceName, kLineFlavour, "platform layer flavour mismatch");
    if (flavour >= 0x10000)
        GP::Assertion::DoFail(kSourceName, kLineFlavourHighBits, "platform layer flavour out of range");

    if (!DETAIL::Keys::init())
        return false;
    s_bMenuInitialized = true;
    s_bLayerInitialized = true;

    if (!CursorManager::isInitialized()) {
        CursorManager::setInitialized(true);
        s_cursorRegistration = CursorManager::beginRegistration();
        CursorManager::registerDefaultCursors();
        CursorManager::endRegistration();
    }
    return AsyncEventTargetImpl::init(false);
}

bool Lib::init(int version, int flavour)
{
    bool started = false;
    try {
        started = tryInit(version, flavour);
    } catch (...) {
        started = false;
    }
    if (!started) {
        deInit();
        return false;
    }
    s_bInitialized = true;
    return true;
}

void Lib::deInit()
{
    AsyncEventTargetImpl::deInit();
    if (CursorManager::isInitialized()) {
        CursorManager::destroyDefaultCursors();
        CursorManager::unregister(s_cursorRegistration);
        s_cursorRegistration = {};
        CursorManager::setInitialized(false);
    }
    s_bLayerInitialized = false;
    s_bMenuInitialized = false;
    DETAIL::Keys::clearUIAToPlatformMap();
    s_bInitialized = false;
}

} // namespace QV::UIA
