#include "ZARNUpdaterAppModule.h"

#include <boost/bind/bind.hpp>

#include "ZARNUpdaterUpgradeLogic.h"

namespace QV {

ZARNUpdaterAppModule::ZARNUpdaterAppModule() = default;

ZARNUpdaterAppModule::~ZARNUpdaterAppModule() {
  deInit(false);
}

bool ZARNUpdaterAppModule::init() {
  if (m_upgradeLogic) {
    return false;
  }
  // The foundation, platform and toolkit libraries start here, in that order
  // and before anything below, once they are part of the program.

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

  // The application object is created and attached here once it exists; its
  // result is then the result of init.
  return true;
}

void ZARNUpdaterAppModule::deInit(bool) {
  if (m_upgradeLogic) {
    // The application owns the result word of an update and is destroyed
    // first. Normally the quit question has stopped the worker already; should
    // one still run, it must not write into the application's memory.
    m_upgradeLogic->abandonResult();
  }
  // The application is destroyed here once it exists.

  m_config = FirmwareUpdaterConfig();
  m_upgradeLogic.reset();

  // The libraries shut down here in reverse order of init once they are part
  // of the program.
}

}  // namespace QV
