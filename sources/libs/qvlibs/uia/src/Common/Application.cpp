#include <QV/UIA/AppModule.h>
#include <QV/UIA/Application.h>
#include <QV/UIA/DisplayManager.h>
#include <QV/UIA/DragDrop.h>
#include <QV/UIA/EventData.h>
#include <QV/UIA/MainWindow.h>

#include "PlatformHooks.h"

#include <algorithm>

namespace QV::UIA {

namespace {
std::vector<Window*>& windowList()
{
    static std::vector<Window*> list;
    return list;
}
} // namespace

Application::Application()
{
    // Each part is a member of its own, so a failure while constructing
    // undoes the parts built so far.
    m_powerManager = std::make_unique<PowerManager>([this] { onSystemSleep(); }, [this] { onSystemWake(); });
    m_menuBar = std::make_unique<HMenuBar>();
    m_accelerators = std::make_unique<AcceleratorManager>();
    m_eventTimerManager = std::make_unique<EventTimerManager>();
    setDragDropDelegate(makeWindowingDragDropDelegate());
    m_impl = std::make_unique<DETAIL::ImplApplication>(*this);
}

Application::~Application()
{
    m_impl.reset();
    m_eventTimerManager.reset();
    m_accelerators.reset();
    m_menuBar.reset();
    m_powerManager.reset();
}

Application* Application::getApplication()
{
    AppModule* module = AppModule::getCurrentModule();
    return module ? dynamic_cast<Application*>(module->getApplication()) : nullptr;
}

bool Application::init()
{
    DETAIL::watchTerminationSignals();
    DisplayManager::init();
    return true;
}

void Application::deInit(bool)
{
    DisplayManager::deInit();
}

void Application::postQuit()
{
    m_quitPending = true;
    m_impl->postCommandExecuteEvent(static_cast<int>(kCommandQuit));
}

int Application::run()
{
    return -1;
}

const char* Application::getHostName() const
{
    return "Standalone";
}

int Application::getHostVersion() const
{
    return 0;
}

std::string Application::getHostVersionString() const
{
    return {};
}

void Application::onSystemSleep()
{
}

void Application::onSystemWake()
{
}

void Application::setApplicationTitle(const char* title)
{
    m_title = title ? title : "";
}

bool Application::sendEvent(unsigned code, EventData* data)
{
    const bool quitWasPending = m_quitPending;
    WndEventExtra extra;
    extra.target = m_mainWindow;
    const bool handled = sendWndEvent(code, data, extra);
    if (!quitWasPending && m_quitPending)
        requestTerminate();
    return handled;
}

bool Application::sendWndEvent(unsigned code, EventData* data, const WndEventExtra& extra)
{
    return onWndEvent(code, data, extra);
}

bool Application::onWndEvent(unsigned code, EventData* data, const WndEventExtra& extra)
{
    if (code >= kFirstCommandEvent && code <= kLastCommandEvent && extra.target
        && extra.target->sendEvent(code, data))
        return true;
    return onEvent(code, data);
}

bool Application::onEvent(unsigned code, EventData* data)
{
    if (code == kEventCommand && data && static_cast<CommandEventData*>(data)->commandId == kCommandQuit) {
        QuitRequestEventData request;
        onEvent(kEventQuitRequest, &request);
        if (request.allowed) {
            m_mainWindow = nullptr;
            m_quitPending = true;
        }
        return true;
    }
    return EventTarget::onEvent(code, data);
}

void Application::setMenu(const HMenuBar& bar)
{
    *m_menuBar = bar;
    if (bar.getNativeMenu())
        DETAIL::setPlatformMainMenu(bar.getNativeMenu());
    for (const auto& [shortcut, command] : HMenu::shortcuts())
        m_accelerators->impl().add(shortcut, command);
}

void Application::requestTerminate()
{
    DETAIL::postPlatformTerminate();
}

void Application::addWindow(Window* window)
{
    auto& list = windowList();
    if (window && std::find(list.begin(), list.end(), window) == list.end())
        list.push_back(window);
}

void Application::removeWindow(Window* window)
{
    auto& list = windowList();
    list.erase(std::remove(list.begin(), list.end(), window), list.end());
}

const std::vector<Window*>& Application::getWindows() noexcept
{
    return windowList();
}

void Application::destroyAllWindows()
{
    if (Application* application = getApplication())
        application->setMainWindow(nullptr);
    auto& list = windowList();
    while (!list.empty()) {
        Window* window = list.front();
        list.erase(list.begin());
        if (window->hasImpl())
            window->destroy();
    }
}

bool DETAIL::ImplApplication::postCommandExecuteEvent(int command)
{
    if (static_cast<unsigned>(command) == kCommandQuit)
        m_application.requestTerminate();
    return false;
}

} // namespace QV::UIA
