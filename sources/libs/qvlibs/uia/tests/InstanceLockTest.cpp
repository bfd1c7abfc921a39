// The single-instance claim: across real processes (probes that each ask once
// and stay up), the choice of the machine's folder the claim lives in, and
// its file, which every user's instance must be able to lock.
#include "Posix/InstanceLock.h"

#include "GuiSession.h"
#include "TemporaryFolder.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using QV::TestSupport::ChildProcess;
using QV::TestSupport::Environment;
using QV::TestSupport::TemporaryFolder;
using QV::UIA::DETAIL::InstanceLock;

class InstanceProbes : public testing::Test
{
protected:
    // Every test has a folder of its own for the claims, so that tests
    // running side by side never see each other's.
    TemporaryFolder m_runtime{"runtime"};
    int m_started = 0;

    std::unique_ptr<ChildProcess> start(const char* probe, Environment extra = {})
    {
        extra.emplace_back(InstanceLock::kFolderVariable, m_runtime.path().string());
        return std::make_unique<ChildProcess>(std::vector<std::string>{probe}, extra,
                                              m_runtime.path() / ("probe" + std::to_string(++m_started) + ".log"));
    }

    // "alone", "conflict", or what the probe printed when it answered
    // neither within the deadline.
    static std::string answer(ChildProcess& probe)
    {
        std::string said;
        QV::TestSupport::waitUntil(
            [&] {
                said = probe.output();
                return said.find('\n') != std::string::npos || probe.waitForExit(0s).has_value();
            },
            30s);
        if (said.rfind("alone\n", 0) == 0)
            return "alone";
        if (said.rfind("conflict\n", 0) == 0)
            return "conflict";
        return said.empty() ? "(nothing)" : said;
    }
};

// Of two instances started together exactly one runs, whatever runtime
// folder each user's session has; the claim ends with the process that held
// it, however it ended.
TEST_F(InstanceProbes, ofTwoStartedTogetherExactlyOneRunsAndTheClaimEndsWithIt)
{
    ASSERT_FALSE(m_runtime.path().empty());
    TemporaryFolder otherSession("other-session");
    for (int round = 0; round < 4; ++round) {
        auto first = start(QV_INSTANCE_PROBE_APP);
        auto second = start(QV_INSTANCE_PROBE_APP, {{"XDG_RUNTIME_DIR", otherSession.path().string()}});
        const std::string a = answer(*first);
        const std::string b = answer(*second);
        ASSERT_TRUE((a == "alone" && b == "conflict") || (a == "conflict" && b == "alone"))
            << "round " << round << ": " << a << " / " << b;
        auto& holder = a == "alone" ? first : second;
        holder->end();  // killed, as a crash would end it
        EXPECT_EQ(answer(*start(QV_INSTANCE_PROBE_APP)), "alone") << "the claim outlived its holder";
    }
}

// A program the application starts (a browser for a Help link) must not keep
// the claim alive after the application itself has gone.
TEST_F(InstanceProbes, aProgramStartedByTheHolderDoesNotInheritTheClaim)
{
    auto holder = start(QV_INSTANCE_PROBE_APP, {{"QV_PROBE_EXEC", "sleep"}});
    ASSERT_EQ(answer(*holder), "alone");
    // The same process now runs sleep in place of the probe.
    EXPECT_EQ(answer(*start(QV_INSTANCE_PROBE_APP)), "alone");
    EXPECT_FALSE(holder->waitForExit(0s).has_value()) << "the holder should still be running";
}

// The claim is named by the bundle identifier, else by the program's name;
// an empty instance name never conflicts.
TEST_F(InstanceProbes, theClaimIsNamedByTheApplicationAndAnEmptyNameNeverConflicts)
{
    auto bundled = start(QV_INSTANCE_PROBE_APP);
    ASSERT_EQ(answer(*bundled), "alone");
    auto plain = start(QV_INSTANCE_PROBE);
    EXPECT_EQ(answer(*plain), "alone") << "a different application";
    EXPECT_EQ(answer(*start(QV_INSTANCE_PROBE)), "conflict") << "the plain program a second time";
    EXPECT_EQ(answer(*start(QV_INSTANCE_PROBE_APP, {{"QV_PROBE_NAME", ""}})), "alone");
    EXPECT_EQ(answer(*start(QV_INSTANCE_PROBE_APP)), "conflict");
}

// The folder of the claims: the one the environment names, when absolute;
// else the machine's folder for lock files where there is one; else the
// shared temp folder.
TEST(InstanceLockFolder, theMachinesFolderUnlessTheEnvironmentNamesOne)
{
    TemporaryFolder machine("machine");
    const char* saved = std::getenv(InstanceLock::kFolderVariable);
    const std::string savedValue = saved ? saved : "";
    setenv(InstanceLock::kFolderVariable, "/named", 1);
    EXPECT_EQ(InstanceLock::folder(machine.path(), "/tmp"), "/named");
    setenv(InstanceLock::kFolderVariable, "relative/folder", 1);
    EXPECT_EQ(InstanceLock::folder(machine.path(), "/tmp"), machine.path());
    EXPECT_EQ(InstanceLock::folder(machine.path() / "missing", "/tmp"), "/tmp");
    setenv(InstanceLock::kFolderVariable, savedValue.c_str(), 1);
}

// Keys become safe file names; a claim taken twice in one process is held
// once, and a second holder in the same process is refused.
TEST(InstanceLockFile, keysMakeSafeNamesAndAClaimIsHeldOnce)
{
    EXPECT_EQ(InstanceLock::fileName("com.example.app"), "com.example.app.lock");
    EXPECT_EQ(InstanceLock::fileName("../a/b c"), ".._a_b_c.lock");
    EXPECT_EQ(InstanceLock::fileName(""), "");
    EXPECT_EQ(InstanceLock::fileName(std::string(1000, 'x')).size(), 205u);

    TemporaryFolder folder("locks");
    InstanceLock first;
    InstanceLock second;
    EXPECT_EQ(first.acquire("key", folder.path()), InstanceLock::eAcquired);
    EXPECT_EQ(first.acquire("key", folder.path()), InstanceLock::eAcquired);
    EXPECT_EQ(second.acquire("key", folder.path()), InstanceLock::eHeldElsewhere);
    EXPECT_TRUE(second.problem().empty()) << second.problem();
    EXPECT_EQ(second.acquire("", folder.path()), InstanceLock::eUnavailable);
    EXPECT_FALSE(second.problem().empty());
}

// A lock file that cannot be opened, or something else in its place (planted
// in a folder every user can write to), counts as held by another instance,
// and says why: two instances must not run because one could not look.
TEST(InstanceLockFile, aFileThatCannotBeOpenedCountsAsHeld)
{
    TemporaryFolder folder("locks");
    std::ofstream(folder.path() / "someone-elses-file");
    fs::create_symlink(folder.path() / "someone-elses-file", folder.path() / "link.lock");
    ASSERT_EQ(mkfifo((folder.path() / "fifo.lock").c_str(), 0644), 0);
    for (const char* key : {"link", "fifo"}) {
        InstanceLock lock;
        EXPECT_EQ(lock.acquire(key, folder.path()), InstanceLock::eHeldElsewhere) << key;
        EXPECT_NE(lock.problem().find(std::string(key) + ".lock"), std::string::npos) << lock.problem();
    }
}

// The file the first instance made is one that another user's instance can
// lock, whatever the maker's umask: refused while the claim is held, that
// user takes it once it is given up. Only root can act as another user.
TEST(InstanceLockFile, anotherUsersInstanceTakesTheClaimOnTheSameFile)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    // Open to every user, as the machine's folder for lock files is.
    std::string shared = "/tmp/qv-shared-locks-XXXXXX";
    ASSERT_NE(mkdtemp(shared.data()), nullptr);
    chmod(shared.c_str(), 01777);
    const auto asNobody = [&] {
        const pid_t child = fork();
        if (child == 0) {
            if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
                _exit(100);
            _exit(InstanceLock().acquire("key", shared));
        }
        int status = 0;
        waitpid(child, &status, 0);
        return WEXITSTATUS(status);
    };
    const mode_t savedMask = umask(077);
    auto holder = std::make_unique<InstanceLock>();
    EXPECT_EQ(holder->acquire("key", shared), InstanceLock::eAcquired);
    umask(savedMask);
    EXPECT_EQ(asNobody(), InstanceLock::eHeldElsewhere);
    holder.reset();
    EXPECT_EQ(asNobody(), InstanceLock::eAcquired) << "the other user cannot lock the file";
    fs::remove_all(shared);
}

} // namespace
