#include "ZARNUpdaterAppModule.h"

#include <QV/GP/Lib.h>
#include <QV/QTK/Lib.h>
#include <QV/QTK/Resources.h>
#include <QV/UIA/ApplicationInstanceSingleton.h>
#include <QV/UIA/Lib.h>

#include <boost/bind/bind.hpp>

#include "ZARNUpdaterUpgradeLogic.h"

namespace QV {

ZARNUpdaterAppModule::ZARNUpdaterAppModule(ApplicationFactory makeApplication)
    : m_makeApplication(std::move(makeApplication)) {}

ZARNUpdaterAppModule::~ZARNUpdaterAppModule() {
  deInit(false);
}

bool ZARNUpdaterAppModule::init() {
  if (m_upgradeLogic || m_foundationStarted) {
    return false;
  }
  if (!GP::Lib::init(GP::makeFileTypeMacMagic("QKBD"), "ZRV Firmware Updater", GP::Lib::kVersion,
                     GP::Lib::kFlavour)) {
    return false;
  }
  m_foundationStarted = true;
  if (!UIA::Lib::init(UIA::Lib::kVersion, UIA::Lib::kFlavour)) {
    GP::Lib::deInit();
    m_foundationStarted = false;
    return false;
  }
  m_platformStarted = true;
  if (!QTK::Lib::init()) {
    deInit(false);
    return false;
  }
  m_toolkitStarted = true;
  // The look may be replaced from a "skin" folder beside the bundle or in
  // the current directory.
  QTK::Resources::setSkinSearch(true);

  m_upgradeLogic = std::make_unique<ZARNUpdaterUpgradeLogic>();
  using boost::placeholders::_1;
  using boost::placeholders::_2;
  using boost::placeholders::_3;
  using boost::placeholders::_4;
  ZARNUpdaterUpgradeLogic* logic = m_upgradeLogic.get();
  m_config.connectInNormalMode = boost::bind(&ZARNUpdaterUpgradeLogic::connectInNormalMode, logic);
  m_config.resetIntoUpdateMode = boost::bind(&ZARNUpdaterUpgradeLogic::resetIntoUpdateMode, logic);
  m_config.connectInUpdateMode = boost::bind(&ZARNUpdaterUpgradeLogic::connectInUpdateMode, logic);
  m_config.performUpdate = boost::bind(&ZARNUpdaterUpgradeLogic::performUpdate, logic, _1);
  m_config.getDeviceInfo = boost::bind(&ZARNUpdaterUpgradeLogic::getDeviceInfo, logic, _1, _2, _3, _4);
  m_config.isUpdateRunning = boost::bind(&ZARNUpdaterUpgradeLogic::isUpdateRunning, logic);
  m_config.createDebugWindow = boost::bind(&ZARNUpdaterUpgradeLogic::createDebugWindow, logic, _1);
  m_config.applicationCloseRequest = boost::bind(&ZARNUpdaterUpgradeLogic::applicationCloseRequest, logic);
  m_config.forgetKeyboard = boost::bind(&ZARNUpdaterUpgradeLogic::forgetKeyboard, logic);
  m_config.hasFirmwareForKeyboard = boost::bind(&ZARNUpdaterUpgradeLogic::hasFirmwareForKeyboard, logic);

  if (!m_makeApplication) {
    return true;
  }
  return attachApplication(m_makeApplication(m_config));
}

bool ZARNUpdaterAppModule::anotherUpdaterRuns() {
  // The claim the application takes under its bundle identifier, named here:
  // a program outside the application's folder has a main bundle of its own.
  return UIA::ApplicationInstanceSingleton::hasConflictingInstanceOf(QV_UPDATER_IDENTIFIER);
}

void ZARNUpdaterAppModule::deInit(bool) {
  if (m_upgradeLogic) {
    // The application owns the result word of an update. Normally the quit
    // question has stopped the worker already; should one still run, it must
    // not write into the application's memory, so the word is given up before
    // the application goes.
    m_upgradeLogic->abandonResult();
  }
  destroyApplication();

  m_config = FirmwareUpdaterConfig();
  m_upgradeLogic.reset();

  // Only what init started is shut down: a library that never started, or
  // that another owner runs, is left alone.
  if (m_toolkitStarted) {
    QTK::Lib::deInit();
    m_toolkitStarted = false;
  }
  if (m_platformStarted) {
    UIA::Lib::deInit();
    m_platformStarted = false;
  }
  if (m_foundationStarted) {
    GP::Lib::deInit();
    m_foundationStarted = false;
  }
}

}  // namespace QV
