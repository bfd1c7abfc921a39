// The single-instance claim: across real processes (probes that each ask once
// and stay up), and the choice of the private folder the claim lives in.
#include "Posix/InstanceLock.h"

#include "GuiSession.h"
#include "TemporaryFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
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
    // Every test has a runtime folder of its own, so that tests running side
    // by side never see each other's claims.
    TemporaryFolder m_runtime{"runtime"};
    int m_started = 0;

    std::unique_ptr<ChildProcess> start(const char* probe, Environment extra = {})
    {
        extra.emplace_back("XDG_RUNTIME_DIR", m_runtime.path().string());
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

// Of two instances started together exactly one runs; the claim ends with
// the process that held it, however it ended.
TEST_F(InstanceProbes, ofTwoStartedTogetherExactlyOneRunsAndTheClaimEndsWithIt)
{
    ASSERT_FALSE(m_runtime.path().empty());
    for (int round = 0; round < 4; ++round) {
        auto first = start(QV_INSTANCE_PROBE_APP);
        auto second = start(QV_INSTANCE_PROBE_APP);
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

// The folder of the claims: the runtime folder when it is the user's own and
// closed to others, else a folder of the user's own under the shared temp
// folder; one planted by someone else, open to others or a link is refused.
TEST(InstanceLockFolder, onlyAFolderPrivateToTheUserIsUsed)
{
    TemporaryFolder runtime("runtime");
    TemporaryFolder shared("shared");
    ASSERT_FALSE(runtime.path().empty());
    ASSERT_FALSE(shared.path().empty());
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string savedValue = saved ? saved : "";
    const fs::path own = shared.path() / ("qv-instances-" + std::to_string(geteuid()));

    setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    EXPECT_EQ(InstanceLock::folder(shared.path()), runtime.path());

    chmod(runtime.path().c_str(), 0755);
    ASSERT_EQ(InstanceLock::folder(shared.path()), own) << "a runtime folder open to others";
    struct stat info{};
    ASSERT_EQ(stat(own.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    setenv("XDG_RUNTIME_DIR", "relative/folder", 1);
    EXPECT_EQ(InstanceLock::folder(shared.path()), own) << "the existing own folder is taken again";

    chmod(own.c_str(), 0777);
    EXPECT_FALSE(InstanceLock::folder(shared.path())) << "open to others";
    chmod(own.c_str(), 0700);
    if (geteuid() == 0) {
        ASSERT_EQ(chown(own.c_str(), 65534, 65534), 0);
        EXPECT_FALSE(InstanceLock::folder(shared.path())) << "another user's";
        ASSERT_EQ(chown(own.c_str(), 0, 0), 0);
    }
    fs::remove(own);
    fs::create_directory(shared.path() / "elsewhere");
    fs::create_directory_symlink(shared.path() / "elsewhere", own);
    EXPECT_FALSE(InstanceLock::folder(shared.path())) << "a link";

    if (saved)
        setenv("XDG_RUNTIME_DIR", savedValue.c_str(), 1);
    else
        unsetenv("XDG_RUNTIME_DIR");
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
    EXPECT_EQ(second.acquire("", folder.path()), InstanceLock::eUnavailable);
    EXPECT_EQ(second.acquire("key", folder.path() / "missing"), InstanceLock::eUnavailable);
    EXPECT_FALSE(second.problem().empty());
}

} // namespace
