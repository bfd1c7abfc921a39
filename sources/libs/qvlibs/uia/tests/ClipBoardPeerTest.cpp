// The general clipboard against xclip, another X program, on a display of
// its own: text both ways (non-ASCII characters, CR LF, a byte-order mark, a
// NUL), large texts that X carries in chunks, and file lists both ways as
// text/uri-list; and owners of the test's own that answer as hostile
// programs do.
#include "GuiSession.h"

#include "../src/X11/X11ClipboardSelection.h"
#include "gui/HexText.h"

#include <gtest/gtest.h>

// After gtest: Xlib's macros (None, Bool) would spoil its names.
#include "gui/ScriptedClipboardOwner.h"

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using QV::UIA::Testing::toHex;

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using QV::TestSupport::ChildProcess;
using QV::TestSupport::GuiSession;

// The peer's output is compared whole: the leak checker's summary of its
// suppressions must not join it.
QV::TestSupport::Environment quietLeakChecker()
{
    const char* options = std::getenv("LSAN_OPTIONS");
    return {{"LSAN_OPTIONS", std::string(options ? options : "") + ":print_suppressions=0"}};
}

class ClipBoardPeerTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(session.ready()) << session.problem(); }

    // Runs the peer to its end: its exit code and output.
    std::pair<int, std::string> peer(std::vector<std::string> words)
    {
        words.insert(words.begin(), QV_UIA_CLIPBOARD_PEER);
        auto child = session.start(words, quietLeakChecker(), session.folder() / ("peer" + std::to_string(++m_runs) + ".log"));
        const auto exitCode = child->waitForExit(30s);
        return {exitCode.value_or(-1), child->output()};
    }

    // Starts the peer to put something on the clipboard; it holds it until
    // the test ends.
    void hold(std::vector<std::string> words)
    {
        words.insert(words.begin(), QV_UIA_CLIPBOARD_PEER);
        m_holder = session.start(words, quietLeakChecker(), session.folder() / "holder.log");
        ASSERT_TRUE(QV::TestSupport::waitUntil(
            [&] { return m_holder->output().find("ready\n") != std::string::npos || m_holder->waitForExit(0s); },
            30s))
            << m_holder->output();
        ASSERT_FALSE(m_holder->waitForExit(0s)) << m_holder->output();
    }

    // Reads the clipboard as `target` with xclip.
    std::string xclipOut(const std::string& target)
    {
        ChildProcess xclip({"xclip", "-selection", "clipboard", "-o", "-t", target}, {{"DISPLAY", session.display()}},
                           session.folder() / ("xclip-out" + std::to_string(++m_runs) + ".log"));
        EXPECT_EQ(xclip.waitForExit(30s), 0) << xclip.output();
        return xclip.output();
    }

    // xclip offers the bytes as `target` and serves them until the test
    // ends; returns when the clipboard gives them. The owner before it may
    // offer the same target, so its name among the targets does not tell.
    void xclipIn(const std::string& target, const std::string& bytes)
    {
        const fs::path file = session.folder() / "xclip-in";
        std::ofstream(file, std::ios::binary) << bytes;
        m_xclip = std::make_unique<ChildProcess>(
            std::vector<std::string>{"xclip", "-selection", "clipboard", "-quiet", "-t", target, file.string()},
            QV::TestSupport::Environment{{"DISPLAY", session.display()}}, session.folder() / "xclip-in.log");
        ASSERT_TRUE(QV::TestSupport::waitUntil(
            [&] {
                ChildProcess probe({"xclip", "-selection", "clipboard", "-o", "-t", target},
                                   {{"DISPLAY", session.display()}}, session.folder() / "probe.log");
                return probe.waitForExit(10s) == 0 && probe.output() == bytes;
            },
            30s))
            << m_xclip->output();
    }

    GuiSession session;

private:
    int m_runs = 0;
    std::unique_ptr<ChildProcess> m_holder;
    std::unique_ptr<ChildProcess> m_xclip;
};

TEST_F(ClipBoardPeerTest, TextCrossesBothWays)
{
    const std::string text = "Grüße, ½ € 日本語 🙂";
    hold({"put-text", toHex(text)});
    EXPECT_EQ(xclipOut("UTF8_STRING"), text);

    // Another program's text: its CR LF line ends become CR, a byte-order
    // mark is dropped and the text ends at a NUL.
    xclipIn("UTF8_STRING", "\xEF\xBB\xBFna\xC3\xAFve \xF0\x9F\x99\x82\r\nline two\r\n\x00hidden");
    const auto [exitCode, output] = peer({"get-text"});
    EXPECT_EQ(exitCode, 0) << output;
    EXPECT_EQ(output, toHex("naïve 🙂\rline two\r") + "\n");
}

// Lines of ASCII and of two- to four-byte characters, so that the chunks X
// cuts a large text into also end inside characters.
std::string largeText(std::size_t size)
{
    static const char* const words[] = {"clipboard ", "Grüße ", "€ ", "日本語 ", "🙂 ", "line\n"};
    std::mt19937 random(7);
    std::string text;
    while (text.size() < size)
        text += words[random() % std::size(words)];
    text.resize(size);
    // A cut through the last character would be dropped on reading.
    while (!text.empty() && (static_cast<unsigned char>(text.back()) & 0x80) != 0)
        text.pop_back();
    return text;
}

// Compared by size and start only when they differ: the outputs run to
// megabytes.
::testing::AssertionResult sameOutput(const std::string& got, const std::string& wanted)
{
    if (got == wanted)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << got.size() << " bytes instead of " << wanted.size()
                                         << ", beginning: " << got.substr(0, 200);
}

TEST_F(ClipBoardPeerTest, LargeTextsAreReadWholeOrRefusedWithoutHarm)
{
    // xclip sends 1 MiB and more in chunks (INCR), which GNUstep's pasteboard
    // server never finishes reading; more than 16 MiB is refused.
    const struct {
        std::size_t size;
        bool read;
    } rows[] = {{1000000, true}, {3000000, true}, {5000000, true}, {10000000, true}, {17000000, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.size);
        const std::string text = largeText(row.size);
        xclipIn("UTF8_STRING", text);
        const auto [exitCode, output] = peer({"get-text"});
        EXPECT_EQ(exitCode, row.read ? 0 : 1);
        EXPECT_TRUE(sameOutput(output, row.read ? toHex(text) + "\n" : "none\n"));
        // The refused text was taken to its end: the other program still
        // answers.
        EXPECT_NE(xclipOut("TARGETS").find("UTF8_STRING"), std::string::npos);
    }
}

// A large text offered only in the old Latin-1 form is GNUstep's to read,
// and its pasteboard server fails on it: the read fails, and the program
// goes on. A session of its own, since the server stays stuck for a while.
TEST_F(ClipBoardPeerTest, ATextThePasteboardServerCannotReadFailsTheReadOnly)
{
    xclipIn("STRING", std::string(3000000, 'x'));
    const auto [exitCode, output] = peer({"get-text"});
    EXPECT_EQ(exitCode, 1);
    EXPECT_NE(output.find("none\n"), std::string::npos) << output;
}

TEST_F(ClipBoardPeerTest, FileListsCrossBothWaysAsURIList)
{
    const fs::path folder = session.folder() / "files";
    fs::create_directories(folder);
    const fs::path spaced = folder / "a file.txt";
    const fs::path accented = folder / "ü.png";
    hold({"put-files", spaced.string(), accented.string()});
    EXPECT_EQ(xclipOut("text/uri-list"),
              "file://" + folder.string() + "/a%20file.txt\r\nfile://" + folder.string() + "/%C3%BC.png\r\n");
    // Our own list reads back through the same selection.
    auto [exitCode, output] = peer({"get-files"});
    EXPECT_EQ(exitCode, 0) << output;
    EXPECT_EQ(output, spaced.string() + "\n" + accented.string() + "\n");

    // Another program's list, with a comment line and a URL that is no file.
    xclipIn("text/uri-list", "# copied\r\nfile://" + folder.string() + "/%C3%BC.png\r\nhttps://example.org/\r\nfile://" +
                                 folder.string() + "/a%20file.txt\r\n");
    std::tie(exitCode, output) = peer({"get-files"});
    EXPECT_EQ(exitCode, 0) << output;
    EXPECT_EQ(output, accented.string() + "\n" + spaced.string() + "\n");

    // Text put later replaces the list.
    hold({"put-text", toHex("plain")});
    std::tie(exitCode, output) = peer({"get-files"});
    EXPECT_EQ(exitCode, 1) << output;
}

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's own count (its header is not installed with g++).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

// The bytes the process has allocated and not freed.
std::size_t allocatedBytes()
{
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

// The most bytes allocated above those at the start while `read` runs,
// looked at every millisecond: often enough to see a queue that grows.
template <typename Read>
std::size_t mostAllocatedWhile(Read read)
{
    const std::size_t start = allocatedBytes();
    std::atomic<std::size_t> most = start;
    std::atomic<bool> done = false;
    std::thread watch([&] {
        for (; !done; std::this_thread::sleep_for(1ms))
            most = std::max(most.load(), allocatedBytes());
    });
    read();
    done = true;
    watch.join();
    return most - start;
}

// Whatever an owner sends, to its answer or to the reader's window, one read
// holds no more of it than the most it takes, ends within its time, takes only the answer to its own request and
// in the form asked for, and leaves no owner waiting.
TEST_F(ClipBoardPeerTest, HostileOwnersAreReadWithinTheLimits)
{
    using Answer = QV::UIA::Testing::ScriptedClipboardOwner::Answer;
    namespace X11 = QV::UIA::DETAIL::X11;
    ASSERT_EQ(setenv("DISPLAY", session.display().c_str(), 1), 0);
    const std::size_t MiB = std::size_t(1) << 20;
    const struct {
        const char* name;
        Answer answer;
        std::string text;
        std::size_t size;
        std::optional<std::string> read;
        // Led to the end of its answer; the trickling owner never is.
        bool ownerEnds;
        X11::ReadLimits limits;
    } rows[] = {
        {"one property", Answer::Whole, "plain", 0, "plain", true, {}},
        {"longs below the most as the server counts", Answer::Longs, "", 12 * MiB, std::nullopt, true, {}},
        {"chunks of longs past the most", Answer::LongChunks, "", 40 * MiB, std::nullopt, true, {}},
        {"typed INTEGER", Answer::Integer, "12345", 0, std::nullopt, true, {}},
        {"items of format 16", Answer::Shorts, "plain text", 0, std::nullopt, true, {}},
        {"a few items of format 32", Answer::Longs, "", 8, std::nullopt, true, {}},
        {"targets of longs below the most", Answer::ManyTargets, "plain", 12 * MiB, std::nullopt, false, {}},
        {"the file list's answer late", Answer::Late, "plain", 0, "plain", true, {}},
        {"one byte at a time for ever", Answer::Trickle, "", 0, std::nullopt, false,
         {std::chrono::seconds(2), std::chrono::seconds(1)}},
        {"one byte a chunk between bursts of events", Answer::FloodedChunks, std::string(100, 'f'), 0,
         std::string(100, 'f'), true, {}},
        {"events for ever instead of a chunk", Answer::Flood, "", 0, std::nullopt, false,
         {std::chrono::seconds(2), std::chrono::seconds(1)}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QV::UIA::Testing::ScriptedClipboardOwner owner(session.display(), row.answer, row.text, row.size);
        ASSERT_TRUE(owner.owned());
        const auto started = std::chrono::steady_clock::now();
        X11::ClipboardContent content;
        const std::size_t allocated = mostAllocatedWhile([&] { content = X11::readClipboard(row.limits); });
        // The deadline is looked at between events, which take no time.
        EXPECT_LE(std::chrono::steady_clock::now() - started, row.limits.whole + 1s);
        // The text collected may grow into a new string beside the old one.
        EXPECT_LE(allocated, 2 * X11::kMostSelectionBytes);
        EXPECT_TRUE(sameOutput(content.text.value_or("none"), row.read.value_or("none")));
        EXPECT_LE(content.mostBytesHeld, X11::kMostSelectionBytes);
        EXPECT_EQ(owner.finished(), row.ownerEnds);
        // The owner hears of the reader's end in its own time.
        if (row.answer == Answer::Trickle || row.answer == Answer::Flood) {
            EXPECT_TRUE(QV::TestSupport::waitUntil([&] { return owner.outlasted(); }, 10s));
        }
        // GNUstep is not sent to take in the targets that the reader refused.
        EXPECT_EQ(content.refused, row.answer == Answer::ManyTargets);
    }
}

} // namespace
