#pragma once

#include <QV/UIA/AppModule.h>
#include <QV/UIA/Application.h>
#include <QV/UIA/EventData.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace QV::UIA::Testing {

// A module whose init and deInit are recorded; deInit takes its application
// down as a real module's does.
class TestModule : public AppModule
{
public:
    bool init() override
    {
        ++inits;
        return initResult;
    }
    void deInit(bool initialised) override
    {
        deInits.push_back(initialised);
        destroyApplication();
    }
    bool initResult = true;
    int inits = 0;
    std::vector<bool> deInits;
};

// An application that answers the quit request as told and counts the
// terminate requests it would make of the platform.
class TestApplication : public Application
{
public:
    explicit TestApplication(std::vector<std::string>* log = nullptr, bool* destroyed = nullptr)
        : m_log(log), m_destroyed(destroyed)
    {
    }
    ~TestApplication() override
    {
        if (m_destroyed)
            *m_destroyed = true;
    }
    bool init() override
    {
        note("init");
        return Application::init() && initResult;
    }
    void deInit(bool initialised) override
    {
        note(initialised ? "deInit(true)" : "deInit(false)");
        Application::deInit(initialised);
    }
    bool onEvent(unsigned code, EventData* data) override
    {
        received.push_back(code);
        if (code == kEventQuitRequest) {
            static_cast<QuitRequestEventData*>(data)->allowed = allowQuit;
            return true;
        }
        return Application::onEvent(code, data);
    }

    bool initResult = true;
    bool allowQuit = true;
    int terminates = 0;
    std::vector<unsigned> received;

protected:
    void requestTerminate() override { ++terminates; }

private:
    void note(const char* what)
    {
        if (m_log)
            m_log->push_back(what);
    }
    std::vector<std::string>* m_log;
    bool* m_destroyed;
};

// A test with a module and its attached application; every window still
// listed is destroyed at the end.
class WithApplication : public ::testing::Test
{
protected:
    void SetUp() override
    {
        application = new TestApplication;
        ASSERT_TRUE(module.attachApplication(application));
    }
    void TearDown() override { Application::destroyAllWindows(); }

    TestModule module;
    TestApplication* application = nullptr;
};

} // namespace QV::UIA::Testing
