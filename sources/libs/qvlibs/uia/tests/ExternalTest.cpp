// Opening web and mail addresses: a fake xdg-open first on PATH records the
// arguments it was started with, so the test sees exactly what a browser
// would have been given, and that nothing is left behind as a zombie.
#include <QV/UIA/External.h>

#include "GuiSession.h"
#include "TemporaryFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using QV::UIA::External::openURL;

// The ids of this process's children, ended ones not yet reaped included.
std::vector<int> children()
{
    std::vector<int> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc", error)) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line))
            continue;
        // "pid (name) state ppid ...": the name may hold spaces and brackets.
        const auto close = line.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream rest(line.substr(close + 1));
        char state = 0;
        int parent = 0;
        if (rest >> state >> parent && parent == getpid())
            found.push_back(std::atoi(entry.path().filename().c_str()));
    }
    return found;
}

class OpenURL : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(m_folder.path().empty());
        const fs::path fake = m_folder.path() / "bin" / "xdg-open";
        fs::create_directories(fake.parent_path());
        // One record per start, renamed into place whole so that the test
        // never reads half of one.
        std::ofstream(fake) << "#!/bin/sh\n"
                               "out=\"$QV_FAKE_OPEN_DIR/call.$$\"\n"
                               "{ echo \"$#\"; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } > \"$out\"\n"
                               "mv \"$out\" \"$QV_FAKE_OPEN_DIR/record.$$\"\n";
        fs::permissions(fake, fs::perms::owner_all);
        const char* path = std::getenv("PATH");
        m_savedPath = path ? path : "";
        setenv("PATH", (fake.parent_path().string() + ":" + m_savedPath).c_str(), 1);
        setenv("QV_FAKE_OPEN_DIR", m_folder.path().c_str(), 1);
    }

    void TearDown() override
    {
        setenv("PATH", m_savedPath.c_str(), 1);
        unsetenv("QV_FAKE_OPEN_DIR");
    }

    // The arguments of the next start of the fake, one entry each, after
    // their count; empty when none came within the deadline.
    std::vector<std::string> nextRecord()
    {
        std::vector<std::string> lines;
        QV::TestSupport::waitUntil(
            [&] {
                for (const auto& entry : fs::directory_iterator(m_folder.path())) {
                    if (entry.path().filename().string().rfind("record.", 0) != 0)
                        continue;
                    std::ifstream in(entry.path());
                    for (std::string line; std::getline(in, line);)
                        lines.push_back(line);
                    fs::remove(entry.path());
                    return true;
                }
                return false;
            },
            20s);
        return lines;
    }

    QV::TestSupport::TemporaryFolder m_folder{"open-url"};
    std::string m_savedPath;
};

// Web and mail addresses reach xdg-open as one argument, byte for byte:
// characters a shell would act on are passed on, not run.
TEST_F(OpenURL, webAndMailAddressesReachTheOpenerAsOneArgumentUnchanged)
{
    const std::vector<std::string> accepted = {
        "https://example.com/kb/firmware?id=69#top", "HTTP://Example.COM", "https://[::1]:8080/",
        "mailto:support@example.com?subject=Firmware%20update", "https://example.com/?q=$(id);a&b='c'*"};
    for (const std::string& url : accepted) {
        ASSERT_TRUE(openURL(url.c_str())) << url;
        EXPECT_EQ(nextRecord(), (std::vector<std::string>{"1", url}));
    }
}

// Anything but a well-formed http, https or mailto address is refused before
// a program starts.
TEST_F(OpenURL, otherSchemesAndMalformedAddressesAreRefused)
{
    EXPECT_FALSE(openURL(nullptr));
    for (const char* url :
         {"", "example.com", "file:///etc/passwd", "javascript:alert(1)", "ftp://example.com/", "-https://x",
          "https:example.com", "http://", "https:///path", "mailto:", "https://exa mple.com/",
          "https://example.com/\n--new-window", "https://example.com/\t", "https://example.com/\x7f",
          "https://example.com/\xc3\xa9", "https://example.com/%zz", "https://example.com/%4", "https://a/\"b\"",
          "https://a/<b>", "https://a/b\\c", "https://a/`id`"})
        EXPECT_FALSE(openURL(url)) << url;
    // Only the address given after the refusals was started.
    ASSERT_TRUE(openURL("https://example.com/after"));
    EXPECT_EQ(nextRecord(), (std::vector<std::string>{"1", "https://example.com/after"}));
    std::size_t records = 0;
    for (const auto& entry : fs::directory_iterator(m_folder.path()))
        records += entry.path().filename().string().rfind("record.", 0) == 0;
    EXPECT_EQ(records, 0u);
}

// Every started opener is reaped once it ends; none stays a zombie.
TEST_F(OpenURL, finishedOpenersAreReaped)
{
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(openURL("https://example.com/"));
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(nextRecord().size(), 2u);
    EXPECT_TRUE(QV::TestSupport::waitUntil([] { return children().empty(); }, 20s))
        << children().size() << " children left";
}

// Without xdg-open nothing starts, and the caller is told so.
TEST_F(OpenURL, aMissingOpenerIsReportedAsFailure)
{
    setenv("PATH", (m_folder.path() / "empty").c_str(), 1);
    EXPECT_FALSE(openURL("https://example.com/"));
}

} // namespace
