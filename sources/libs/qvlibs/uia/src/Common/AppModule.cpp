#include <QV/GP/CurrentDSOHandle.h>
#include <QV/GP/Lib.h>
#include <QV/GP/Registry.h>
#include <QV/GP/TLS.h>
#include <QV/UIA/AppModule.h>
#include <QV/UIA/IApplication.h>
#include <QV/UIA/ResourceFacade.h>

#include <exception>
#include <vector>

namespace QV::UIA {

namespace {
AppModule* s_currentModule = nullptr;
}

AppModule::AppModule()
{
    if (!s_currentModule)
        s_currentModule = this;
}

AppModule::~AppModule()
{
    try {
        destroyApplication();
    } catch (...) {
        std::terminate();
    }
    // Left set, the pointer would name freed memory for every later caller.
    if (s_currentModule == this)
        s_currentModule = nullptr;
}

AppModule* AppModule::getCurrentModule() noexcept
{
    return s_currentModule;
}

bool AppModule::create()
{
    const bool useRegistry = initRegistry();
    if (GP::getCurrentDSOHandle())
        GP::Lib::initLocale(getLocale(useRegistry).c_str());
    else
        GP::Lib::initLocale(nullptr);
    GP::TLS::init();
    m_initialised = init();
    m_created = true;
    return m_initialised;
}

bool AppModule::attachApplication(IApplication* application)
{
    if (m_application || !application)
        return false;
    m_application = application;
    application->setModuleOwner(this);
    if (application->init())
        return true;
    // A failed application is taken down once, here, and not kept: kept, it
    // would be de-initialised a second time by destroyApplication.
    application->deInit(false);
    application->setModuleOwner(nullptr);
    m_application = nullptr;
    delete application;
    return false;
}

void AppModule::destroyApplication()
{
    IApplication* application = m_application;
    if (!application)
        return;
    application->deInit(m_initialised);
    application->setModuleOwner(nullptr);
    m_application = nullptr;
    delete application;
}

bool AppModule::initRegistry() const
{
    return false;
}

std::string AppModule::getLocale(bool useRegistry) const
{
    if (!useRegistry)
        return {};
    std::vector<std::string> languages;
    if (!GP::Registry::get("AppleLanguages", languages, GP::Registry::kGetList) || languages.empty())
        return {};
    return languages.front();
}

std::string DETAIL::cutVersionText(const std::string& value)
{
    return value.substr(0, value.find(','));
}

bool DETAIL::AppModuleStartup::init()
{
    AppModule* module = AppModule::getCurrentModule();
    return module && module->create();
}

void DETAIL::AppModuleStartup::deInit()
{
    AppModule* module = AppModule::getCurrentModule();
    if (!module)
        return;
    // A module whose start-up never ran has no libraries to shut down; one
    // shut down already is not shut down twice.
    if (module->m_created) {
        module->m_created = false;
        module->deInit(module->m_initialised);
    }
    ResourceFacade::clearResourceMap();
}

} // namespace QV::UIA
