// An application that starts through the real entry point and delegate, as
// the updater does, and writes what happens to the file named by
// UIA_TEST_LOG, one line per step. It shows one standalone window titled
// "UIA Test Window" and, UIA_TEST_QUIT_AFTER_MS (default 500) after its
// start, quits the way UIA_TEST_QUIT says: "terminate" asks the platform
// application to terminate, "destroy-window" destroys the main window,
// "close-window" closes the main window as its close button does, and
// "none" stays up until it is ended from outside; "file-dialog" runs the file
// dialog that UIA_TEST_DIALOG names first and then terminates. Every change
// of the displays is written as "displays-changed" with the new frames. With
// QV_IDLE_TIMER_MS set it keeps a tick timer of that interval for its whole
// life, as the idle benchmark asks of the program it measures. With
// UIA_TEST_MENUS set it installs the menus of TestApplicationMenus.h before
// its window, notes each command that reaches it, and notes where its menus
// are on the screen whenever that changes.
#include "TestLog.h"
#include <QV/GP/FileName.h>
#include <QV/GP/Lib.h>
#include <QV/UIA/AppModule.h>
#include <QV/UIA/Application.h>
#include <QV/UIA/ApplicationInstanceSingleton.h>
#include <QV/UIA/CLI.h>
#include <QV/UIA/EventData.h>
#include <QV/UIA/Lib.h>
#include <QV/UIA/StandaloneWindow.h>

#include "TestApplicationPeripherals.h"
#include "TestApplicationMenus.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

void askPlatformToTerminate();
void askWindowToClose(void* view);

namespace {

using QV::UIA::Testing::note;

std::string setting(const char* name, const char* fallback)
{
    const char* value = std::getenv(name);
    return value ? value : fallback;
}

class TestWindow : public QV::UIA::StandaloneWindow
{
public:
    bool onEvent(unsigned code, QV::UIA::EventData* data) override
    {
        if (code == QV::UIA::kEventWindowCreated)
            note("window-created");
        else if (code == QV::UIA::kEventWindowShown)
            note("window-shown");
        else if (code == QV::UIA::kEventWindowDestroyed)
            note("window-destroyed");
        return StandaloneWindow::onEvent(code, data);
    }
};

class TestApplication : public QV::UIA::Application
{
public:
    bool init() override
    {
        note("app-init");
        if (!Application::init())
            return false;
        using QV::UIA::ApplicationInstanceSingleton;
        if (ApplicationInstanceSingleton::hasConflictingInstance("UIA Test", ApplicationInstanceSingleton::eModeDefault)) {
            note("conflict");
            return false;
        }
        std::string version;
        QV::UIA::AppModule::getVersionInfo(version);
        note("version " + version);
        if (const QV::GP::FileName* file = QV::UIA::CLI::getCommandLineFile())
            note("command-line-file " + file->getName());
        if (std::getenv("UIA_TEST_MENUS")) {
            TestMenus::install(*this);
            m_menuTimer = setEventTimer(100, 0);
        }
        m_window = std::make_unique<TestWindow>();
        QV::UIA::Window::CreateData data;
        data.flags = QV::UIA::WindowBase::kCreateContentSize;
        data.rectangle = {0, 0, 320, 200};
        data.setTitle("UIA Test Window");
        if (!m_window->create(data)) {
            note("no-window");
            return false;
        }
        m_window->show(true);
        // Centred by the platform: where depends on its decorations.
        noteState(false);
        QV::UIA::WindowState moved;
        moved.state = QV::UIA::WindowState::kShown;
        moved.position = {40, 50};
        moved.size = {300, 180};
        m_window->restoreState(moved);
        noteState(true);
        m_quitTimer = setEventTimer(std::atoi(setting("UIA_TEST_QUIT_AFTER_MS", "500").c_str()), 0);
        if (const char* idle = std::getenv("QV_IDLE_TIMER_MS"))
            setEventTimer(std::atoi(idle), 0);
        return true;
    }

    void deInit(bool initialised) override
    {
        note("app-deinit");
        Application::deInit(initialised);
    }

    bool onEvent(unsigned code, QV::UIA::EventData* data) override
    {
        switch (code) {
        case QV::UIA::kEventTimer: {
            if (static_cast<QV::UIA::TimerEventData*>(data)->timer == m_menuTimer) {
                noteMenuPositions();
                return true;
            }
            if (static_cast<QV::UIA::TimerEventData*>(data)->timer != m_quitTimer)
                return true;
            killEventTimer(m_quitTimer);
            const std::string how = setting("UIA_TEST_QUIT", "terminate");
            note("quit-by " + how);
            if (how == "terminate")
                askPlatformToTerminate();
            else if (how == "destroy-window")
                m_window->destroy();
            else if (how == "close-window")
                askWindowToClose(m_window->getNSView());
            else if (how == "file-dialog") {
                note(runFileDialogFromSettings());
                askPlatformToTerminate();
            }
            return true;
        }
        case QV::UIA::kEventCommand:
            if (m_menuTimer)
                note("command " + TestMenus::commandName(static_cast<QV::UIA::CommandEventData*>(data)->commandId));
            return Application::onEvent(code, data);
        case QV::UIA::kEventCommandValidate:
            return TestMenus::validate(*static_cast<QV::UIA::MenuUpdateEventData*>(data));
        case QV::UIA::kEventMenuWillOpen:
            note("menu-will-open");
            return true;
        case QV::UIA::kEventQuitRequest:
            note("quit-request");
            return true;
        case QV::UIA::kEventDisplaysChanged:
            note("displays-changed " + describeDisplays());
            return true;
        case QV::UIA::kEventOpenFile:
            note("open-file " + static_cast<QV::UIA::OpenFileEventData*>(data)->file->getName());
            return true;
        default:
            return Application::onEvent(code, data);
        }
    }

private:
    void noteMenuPositions()
    {
        std::vector<std::string> lines = TestMenus::positions();
        if (lines == m_menuPositions)
            return;
        m_menuPositions = lines;
        std::string text = "positions";
        for (const std::string& line : lines)
            text += "\n" + line;
        note(text + "\nend-positions");
    }

    void noteState(bool withPosition)
    {
        QV::UIA::WindowState state;
        m_window->getState(state);
        const std::string position = " at " + std::to_string(state.position.x) + "," + std::to_string(state.position.y);
        note("state " + std::to_string(state.state) + (withPosition ? position : "") + " size "
             + std::to_string(state.size.x) + "x" + std::to_string(state.size.y) + " kind " + std::to_string(state.kind));
    }

    std::unique_ptr<TestWindow> m_window;
    QV::UIA::HEventTimer m_quitTimer = nullptr;
    QV::UIA::HEventTimer m_menuTimer = nullptr;
    std::vector<std::string> m_menuPositions;
};

class TestModule : public QV::UIA::AppModule
{
public:
    bool init() override
    {
        note("module-init");
        if (!QV::GP::Lib::init(QV::GP::makeFileTypeMacMagic("QVTA"), "UIA Test", QV::GP::Lib::kVersion,
                               QV::GP::Lib::kFlavour))
            return false;
        m_foundation = true;
        note("foundation-up");
        if (!QV::UIA::Lib::init(QV::UIA::Lib::kVersion, QV::UIA::Lib::kFlavour))
            return false;
        m_platform = true;
        note("platform-up");
        return attachApplication(new TestApplication);
    }

    void deInit(bool) override
    {
        destroyApplication();
        if (m_platform) {
            QV::UIA::Lib::deInit();
            note("platform-down");
        }
        if (m_foundation) {
            QV::GP::Lib::deInit();
            note("foundation-down");
        }
        m_platform = m_foundation = false;
    }

private:
    bool m_foundation = false;
    bool m_platform = false;
};

// Built before the entry point, as the updater's module is.
TestModule theModule;

} // namespace
