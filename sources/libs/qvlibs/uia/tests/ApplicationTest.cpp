#include "FakeWindowImpl.h"
#include "TestApplication.h"

#include <QV/UIA/AcceleratorManager.h>
#include <QV/UIA/Menu.h>

#include <gtest/gtest.h>

using namespace QV::UIA;
using namespace QV::UIA::Testing;

namespace {

class ApplicationTest : public WithApplication
{
protected:
    void SetUp() override
    {
        WithApplication::SetUp();
        impl = window.attachFake();
    }

    bool sendCommand(unsigned id)
    {
        CommandEventData command;
        command.commandId = id;
        return application->sendEvent(kEventCommand, &command);
    }

    FakeStandaloneWindow window;
    FakeWindowImpl* impl = nullptr;
};

} // namespace

TEST_F(ApplicationTest, ARefusedQuitChangesNothing)
{
    application->allowQuit = false;
    EXPECT_TRUE(sendCommand(kCommandQuit));
    EXPECT_FALSE(application->isQuitPending());
    EXPECT_EQ(application->getMainWindow(), &window);
    EXPECT_EQ(application->terminates, 0);
    EXPECT_EQ(application->received, (std::vector<unsigned>{kEventCommand, kEventQuitRequest}));
}

TEST_F(ApplicationTest, AnApprovedQuitTerminatesOnce)
{
    EXPECT_TRUE(sendCommand(kCommandQuit));
    EXPECT_TRUE(application->isQuitPending());
    EXPECT_EQ(application->getMainWindow(), nullptr);
    EXPECT_EQ(application->terminates, 1);
    EXPECT_TRUE(sendCommand(kCommandQuit));
    EXPECT_EQ(application->terminates, 1) << "quit was pending already";
    application->postQuit();
    EXPECT_EQ(application->terminates, 2) << "postQuit always asks";
}

TEST_F(ApplicationTest, CommandsReachTheMainWindowFirst)
{
    window.handleCommands = true;
    EXPECT_TRUE(sendCommand(kCommandAbout));
    EXPECT_EQ(window.received, (std::vector<unsigned>{kEventCommand}));
    EXPECT_TRUE(application->received.empty());

    window.handleCommands = false;
    EXPECT_FALSE(sendCommand(kCommandAbout));
    EXPECT_EQ(application->received, (std::vector<unsigned>{kEventCommand}));

    EventData none;
    EXPECT_FALSE(application->sendEvent(kEventAppActivated, &none));
    EXPECT_EQ(window.received.size(), 2u) << "other codes go to the application only";
}

TEST_F(ApplicationTest, TheWindowListAndDestroyingAllWindows)
{
    FakeStandaloneWindow withoutImpl;
    Application::addWindow(&withoutImpl);
    Application::addWindow(&withoutImpl);
    Application::removeWindow(nullptr);
    EXPECT_EQ(Application::getWindows(), (std::vector<Window*>{&window, &withoutImpl}));

    Application::destroyAllWindows();
    EXPECT_TRUE(Application::getWindows().empty());
    EXPECT_FALSE(window.hasImpl());
    EXPECT_EQ(application->getMainWindow(), nullptr);
    // The main window went while quit was not pending: the application quits.
    EXPECT_TRUE(application->isQuitPending());
    EXPECT_EQ(application->terminates, 1);
}

TEST_F(ApplicationTest, TheMenuBarsShortcutsBecomeAccelerators)
{
    HMenu::shortcuts()[0x20000000 | 'q'] = static_cast<int>(kCommandQuit);
    application->setMenu(HMenuBar());
    const AcceleratorManagerImpl& accelerators = application->getAccelerators().impl();
    EXPECT_EQ(accelerators.getCommand(0x20000000 | 'q'), static_cast<int>(kCommandQuit));
    // Keypad and other extra bits fall back to the plain key.
    EXPECT_EQ(accelerators.getCommand(0x20000000 | 0x800000 | 'q'), static_cast<int>(kCommandQuit));
    EXPECT_EQ(accelerators.getCommand('q'), 0);
    HMenu::shortcuts().clear();
}
