// Sleep and wake notices from a mocked logind (python-dbusmock's template) on
// a bus of the test's own, which the manager finds through
// DBUS_SYSTEM_BUS_ADDRESS: the callables run on the main run loop, a signal
// that is not logind's shape is dropped, and without a bus, or once the bus
// is gone, nothing arrives and nothing spins.
#include <QV/UIA/PowerManager.h>

#include "ChildProcess.h"
#include "TemporaryFolder.h"

#include "Cocoa/GNUstepHeaders.h"

#include <gtest/gtest.h>

#include <systemd/sd-bus.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using QV::TestSupport::ChildProcess;
using QV::TestSupport::TemporaryFolder;
using QV::UIA::PowerManager;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

template <typename Condition>
bool runMainLoopUntil(Condition condition, Clock::duration limit)
{
    const auto deadline = Clock::now() + limit;
    while (!condition() && Clock::now() < deadline) {
        NSAutoreleasePool* pool = [NSAutoreleasePool new];
        [[NSRunLoop currentRunLoop] runMode:NSDefaultRunLoopMode beforeDate:[NSDate dateWithTimeIntervalSinceNow:0.02]];
        [pool release];
    }
    return condition();
}

// The address of a bus socket that does not exist, inside `folder`.
std::string missingBus(const std::filesystem::path& folder)
{
    return "unix:path=" + (folder / "no-bus").string();
}

class PowerManagerTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        sd_bus_flush_close_unref(m_client);
        m_logind.reset();
        m_bus.reset();
        unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    }

    // A private bus with a mocked logind on it, made the system bus of this
    // process. False, with the reason given to the test, when either is
    // missing.
    bool startMockedLogind()
    {
        const std::filesystem::path socket = m_folder.path() / "bus";
        m_address = "unix:path=" + socket.string();
        m_bus = std::make_unique<ChildProcess>(
            std::vector<std::string>{"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + m_address},
            std::vector<std::pair<std::string, std::string>>{}, m_folder.path() / "bus.log");
        const auto deadline = Clock::now() + 10s;
        while (!std::filesystem::exists(socket) && Clock::now() < deadline)
            std::this_thread::sleep_for(20ms);
        if (!std::filesystem::exists(socket)) {
            ADD_FAILURE() << "no private bus\n" << m_bus->output();
            return false;
        }
        setenv("DBUS_SYSTEM_BUS_ADDRESS", m_address.c_str(), 1);
        // The distribution's Python, where python3-dbusmock is installed.
        m_logind = std::make_unique<ChildProcess>(
            std::vector<std::string>{"/usr/bin/python3", "-m", "dbusmock", "--template", "logind"},
            std::vector<std::pair<std::string, std::string>>{{"DBUS_SYSTEM_BUS_ADDRESS", m_address}},
            m_folder.path() / "logind.log");
        if (sd_bus_open_system(&m_client) < 0) {
            ADD_FAILURE() << "the test cannot reach its own bus";
            return false;
        }
        const auto named = Clock::now() + 20s;
        while (Clock::now() < named) {
            sd_bus_message* reply = nullptr;
            int owned = 0;
            if (sd_bus_call_method(m_client, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                   "NameHasOwner", nullptr, &reply, "s", "org.freedesktop.login1")
                    >= 0
                && sd_bus_message_read(reply, "b", &owned) >= 0 && owned) {
                sd_bus_message_unref(reply);
                return true;
            }
            sd_bus_message_unref(reply);
            std::this_thread::sleep_for(50ms);
        }
        ADD_FAILURE() << "the mocked logind did not come up\n" << m_logind->output();
        return false;
    }

    // Has the mocked logind emit PrepareForSleep with one argument of the
    // given signature: "b" as logind sends it, anything else as it never
    // does.
    bool emitPrepareForSleep(bool sleeping, const char* signature = "b")
    {
        sd_bus_message* call = nullptr;
        bool sent = sd_bus_message_new_method_call(m_client, &call, "org.freedesktop.login1", "/org/freedesktop/login1",
                                                   "org.freedesktop.DBus.Mock", "EmitSignal")
                    >= 0;
        sent = sent && sd_bus_message_append(call, "sss", "org.freedesktop.login1.Manager", "PrepareForSleep", signature) >= 0;
        if (std::string(signature) == "b")
            sent = sent && sd_bus_message_append(call, "av", 1, "b", sleeping ? 1 : 0) >= 0;
        else
            sent = sent && sd_bus_message_append(call, "av", 1, "s", sleeping ? "yes" : "no") >= 0;
        sd_bus_error error = SD_BUS_ERROR_NULL;
        sent = sent && sd_bus_call(m_client, call, 0, &error, nullptr) >= 0;
        sd_bus_error_free(&error);
        sd_bus_message_unref(call);
        return sent;
    }

    TemporaryFolder m_folder{"uia-power"};
    std::string m_address;
    std::unique_ptr<ChildProcess> m_bus;
    std::unique_ptr<ChildProcess> m_logind;
    sd_bus* m_client = nullptr;
    std::vector<std::string> m_calls;
};

} // namespace

TEST_F(PowerManagerTest, PrepareForSleepCallsTheSleepThenTheWakeCallable)
{
    ASSERT_TRUE(startMockedLogind());
    PowerManager manager([this] { m_calls.push_back("sleep"); }, [this] { m_calls.push_back("wake"); });
    ASSERT_TRUE(manager.isReceivingNotices());

    // The manager asks for the signal without waiting for the bus, so the
    // first signals may come before the bus has taken its request.
    const auto deadline = Clock::now() + 15s;
    while (m_calls.empty() && Clock::now() < deadline) {
        ASSERT_TRUE(emitPrepareForSleep(true));
        runMainLoopUntil([&] { return !m_calls.empty(); }, 200ms);
    }
    ASSERT_FALSE(m_calls.empty()) << m_logind->output();
    EXPECT_EQ(m_calls.back(), "sleep");

    // A signal of the wrong shape is not logind's: nothing is called.
    const std::size_t before = m_calls.size();
    ASSERT_TRUE(emitPrepareForSleep(false, "s"));
    ASSERT_TRUE(emitPrepareForSleep(false));
    ASSERT_TRUE(runMainLoopUntil([&] { return m_calls.size() > before; }, 10s));
    EXPECT_EQ(std::vector<std::string>(m_calls.begin() + static_cast<long>(before), m_calls.end()),
              std::vector<std::string>{"wake"});
}

TEST_F(PowerManagerTest, WhenTheBusGoesAwayTheNoticesEndWithoutSpinning)
{
    ASSERT_TRUE(startMockedLogind());
    PowerManager manager([this] { m_calls.push_back("sleep"); }, [this] { m_calls.push_back("wake"); });
    ASSERT_TRUE(manager.isReceivingNotices());
    m_logind.reset();
    m_bus.reset();
    // A closed connection stays readable: left watched, it would keep the
    // run loop busy for ever.
    EXPECT_TRUE(runMainLoopUntil([&] { return !manager.isReceivingNotices(); }, 5s));
    EXPECT_TRUE(m_calls.empty());
}

TEST_F(PowerManagerTest, WithoutABusConstructionSucceedsAndNothingArrives)
{
    setenv("DBUS_SYSTEM_BUS_ADDRESS", missingBus(m_folder.path()).c_str(), 1);
    {
        PowerManager manager([this] { m_calls.push_back("sleep"); }, [this] { m_calls.push_back("wake"); });
        EXPECT_FALSE(manager.isReceivingNotices());
        runMainLoopUntil([] { return false; }, 200ms);
    }
    EXPECT_TRUE(m_calls.empty());
}
