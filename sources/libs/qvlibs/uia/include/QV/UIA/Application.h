#pragma once

#include <QV/UIA/AcceleratorManager.h>
#include <QV/UIA/EventTarget.h>
#include <QV/UIA/EventTimerManager.h>
#include <QV/UIA/IApplication.h>
#include <QV/UIA/Menu.h>
#include <QV/UIA/PowerManager.h>

#include <memory>
#include <string>
#include <vector>

namespace QV::UIA {

class AppModule;
class MainWindow;
class Window;

namespace DETAIL {
class ImplApplication;
}

// The application object: the receiver of last resort for window events,
// the one that decides about quitting, and the owner of the power manager,
// the menu bar, the accelerators and the tick-timer manager. The host
// derives its own application and attaches it to its module.
//
// Quitting: the command kCommandQuit becomes the quit request
// kEventQuitRequest (QuitRequestEventData) sent to onEvent, so a derived
// application may refuse; when allowed, quit is pending and the platform
// application is asked to terminate on a later turn of the run loop. Quit
// pending never returns to false.
//
// Thread affinity: main thread.
class Application : public EventTarget, public IApplication
{
public:
    // The window on whose behalf an event travels; null when none.
    struct WndEventExtra {
        EventTarget* target = nullptr;
    };

    Application();
    ~Application() override;
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The current module's application; null without either.
    static Application* getApplication();

    // Starts the display manager; true. From then on the signals that end a
    // session's programs (SIGTERM, SIGINT, SIGHUP) end the application on the
    // main thread, as an approved quit, without asking onEvent.
    bool init() override;
    // Stops the display manager.
    void deInit(bool initialised) override;
    void postQuit() override;
    // -1: the platform application runs the loop.
    int run() override;
    void setModuleOwner(AppModule* module) override { m_moduleOwner = module; }
    AppModule* getModuleOwner() const noexcept { return m_moduleOwner; }

    virtual const char* getHostName() const;
    virtual int getHostVersion() const;
    virtual std::string getHostVersionString() const;
    virtual void onSystemSleep();
    virtual void onSystemWake();

    // Routes through onWndEvent with the main window as the extra's target,
    // and posts terminate when the event made quit pending.
    bool sendEvent(unsigned code, EventData* data) override;
    bool sendWndEvent(unsigned code, EventData* data, const WndEventExtra& extra);
    // Commands (1200-1299) go to the extra's target first, then to onEvent;
    // every other code to onEvent only.
    virtual bool onWndEvent(unsigned code, EventData* data, const WndEventExtra& extra);
    bool onEvent(unsigned code, EventData* data) override;

    // Null is the empty title.
    void setApplicationTitle(const char* title);
    const std::string& getApplicationTitle() const noexcept { return m_title; }
    void setMainWindow(MainWindow* window) noexcept { m_mainWindow = window; }
    MainWindow* getMainWindow() const noexcept { return m_mainWindow; }
    bool isQuitPending() const noexcept { return m_quitPending; }
    // Windows read it for their backing scale; the host may switch it on.
    bool isHighResolutionDrawing() const noexcept { return m_highResolutionDrawing; }
    void setHighResolutionDrawing(bool on) noexcept { m_highResolutionDrawing = on; }

    // Makes the bar's menu the platform's main menu and copies the menus'
    // shortcuts into the accelerators.
    void setMenu(const HMenuBar& bar);
    const HMenuBar& getMenuBar() const noexcept { return *m_menuBar; }
    AcceleratorManager& getAccelerators() noexcept { return *m_accelerators; }
    EventTimerManager& getEventTimerManager() noexcept { return *m_eventTimerManager; }
    PowerManager& getPowerManager() noexcept { return *m_powerManager; }

    // The top-level windows, in order of addition, without duplicates.
    static void addWindow(Window* window);
    static void removeWindow(Window* window);
    static const std::vector<Window*>& getWindows() noexcept;
    // Clears the main window, then destroys every listed window that still
    // has its native window; the list ends empty.
    static void destroyAllWindows();

protected:
    // Asks the platform application to terminate on a later turn of the run
    // loop.
    virtual void requestTerminate();

private:
    friend class DETAIL::ImplApplication;

    std::unique_ptr<DETAIL::ImplApplication> m_impl;
    AppModule* m_moduleOwner = nullptr;
    std::string m_title;
    MainWindow* m_mainWindow = nullptr;
    bool m_quitPending = false;
    bool m_highResolutionDrawing = false;
    std::unique_ptr<PowerManager> m_powerManager;
    std::unique_ptr<HMenuBar> m_menuBar;
    std::unique_ptr<AcceleratorManager> m_accelerators;
    std::unique_ptr<EventTimerManager> m_eventTimerManager;
};

namespace DETAIL {

class ImplApplication
{
public:
    explicit ImplApplication(Application& application) noexcept : m_application(application) {}
    // For 'quit', asks the platform application to terminate on a later
    // turn of the run loop; nothing for other commands. False in both cases.
    bool postCommandExecuteEvent(int command);

private:
    Application& m_application;
};

} // namespace DETAIL

} // namespace QV::UIA
