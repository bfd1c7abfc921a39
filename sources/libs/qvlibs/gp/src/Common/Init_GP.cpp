#include <QV/GP/Lib.h>

#include <QV/GP/Application.h>
#include <QV/GP/Assertion.h>
#include <QV/GP/Authentication.h>
#include <QV/GP/CriticalSection.h>
#include <QV/GP/DebugTrace.h>
#include <QV/GP/DeviceNotification.h>
#include <QV/GP/FileTypeManager.h>
#include <QV/GP/GetTextLoader.h>
#include <QV/GP/Registry.h>
#include <QV/GP/SystemInfo.h>
#include <QV/GP/TLS.h>
#include <QV/GP/VolumeManager.h>

#include "Common/DebuggerBreak.h"

namespace QV::GP {

bool Lib::s_bInitialized = false;
bool Lib::s_bInitializeDeviceNotifications = true;

namespace {

// Failed start-up checks name this source and these lines. They are fixed,
// so that a report means the same whichever build produced it.
constexpr char kSourceName[] = "../sources/libs/qvlibs/gp/src/Common/Init_GP";
constexpr int kLineAlreadyInitialized = 62;
constexpr int kLineWrongVersion = 205;
constexpr int kLineWrongFlavour = 208;
constexpr int kLineFlavourOutOfRange = 211;

constexpr unsigned kFlavourLimit = 0x10000;
constexpr unsigned kFlavourMask = 0xFFFF;

void failCheck(int line)
{
    if (Assertion::DoFail(kSourceName, line, nullptr) == 1)
        DETAIL::breakIntoDebugger();
}

void checkVersion(int version, int flavour)
{
    if (version != Lib::kVersion)
        failCheck(kLineWrongVersion);
    if ((static_cast<unsigned>(flavour) & kFlavourMask) != Lib::kFlavour)
        failCheck(kLineWrongFlavour);
    if (static_cast<unsigned>(flavour) >= kFlavourLimit)
        failCheck(kLineFlavourOutOfRange);
}


// Steps 6 and 7 of start-up: false when a service that others rely on could
// not start.
bool startServices(bool withDeviceNotifications)
{
    TLS::init();
    SystemInfo::init();
    if (!CriticalSection::staticInit())
        return false;
    if (!FileTypeManager::init())
        return false;
    if (withDeviceNotifications && !DeviceNotification::init())
        return false;
    // The volume list is a convenience: without it the library still works.
    VolumeManager::init();
    return true;
}

} // namespace

bool Lib::init(FileTypeMacMagic signature, const char* name, int version, int flavour)
{
    if (s_bInitialized) {
        failCheck(kLineAlreadyInitialized);
        // Only reached when the report lets the program go on: the library
        // is up already and is not started a second time.
        return true;
    }
    checkVersion(version, flavour);

    Application::setSignature(signature);
    Application::setName(name);

    bool started = false;
    try {
        started = startServices(s_bInitializeDeviceNotifications);
    } catch (...) {
        started = false;
    }
    if (!started) {
        deInit();
        return false;
    }
    Authentication::init();
    s_bInitialized = true;
    return true;
}

void Lib::checkVersionAndFlavour(int version, int flavour)
{
    checkVersion(version, flavour);
}

void Lib::deInit()
{
    Registry::deInit();
    FileTypeManager::deInit();
    VolumeManager::deInit();
    DeviceNotification::deInit();
    Authentication::deInit();
    CriticalSection::staticDeInit();
    SystemInfo::deInit();
    TLS::deInit();
    DebugTrace::clearGroupFilter();
    s_bInitialized = false;
}

void Lib::initLocale(const char* locale)
{
    GetTextLoader::initLocale(locale);
}

} // namespace QV::GP
