// Clipboard formats and reading a pasteboard's items, over a pasteboard kept
// in memory: text line ends, byte-order marks and NULs, the preference for
// UTF-8, one value against many, and file URLs.
#include <QV/UIA/ClipBoardFormatHandle.h>
#include <QV/UIA/DETAIL/Pasteboard.h>
#include <QV/UIA/ExchangeData.h>
#include <QV/UIA/FileListClipBoardFormat.h>
#include <QV/UIA/InternalClipBoardFormat.h>
#include <QV/UIA/TextClipBoardFormat.h>

#include "MemoryPasteboard.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

namespace {

using namespace QV::UIA;
using QV::UIA::Testing::MemoryPasteboard;
using Handle = ClipBoardFormatHandle;

ClipBoardItemData utf16Bytes(const std::u16string& text)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    return ClipBoardItemData(bytes, bytes + 2 * text.size());
}

ClipBoardItemData bytesOf(const std::string& text)
{
    return ClipBoardItemData(text.begin(), text.end());
}

std::string readText(const std::shared_ptr<MemoryPasteboard>& board)
{
    TextClipBoardFormat text;
    EXPECT_TRUE(ExchangeData(board).getFormat(text));
    return text.getValue();
}

TEST(ClipBoardFormatTest, TextIsCutAtNulLosesItsByteOrderMarkAndEndsLinesWithCR)
{
    TextClipBoardFormat text;
    const ClipBoardItemData crlf = utf16Bytes(u"\uFEFFone\r\ntwo\r\rthree\n");
    ASSERT_TRUE(text.addRawData(crlf.data(), static_cast<long>(crlf.size())));
    EXPECT_EQ(text.getUTF16(), u"one\rtwo\r\rthree\n");

    const ClipBoardItemData nul = utf16Bytes(std::u16string(u"ab\0cd", 5));
    ASSERT_TRUE(text.addRawData(nul.data(), static_cast<long>(nul.size())));
    EXPECT_EQ(text.getValue(), "ab");

    // An odd byte count leaves out the half unit at the end.
    ClipBoardItemData odd = utf16Bytes(u"xy");
    odd.pop_back();
    ASSERT_TRUE(text.addRawData(odd.data(), static_cast<long>(odd.size())));
    EXPECT_EQ(text.getValue(), "x");
}

TEST(ClipBoardFormatTest, TextWritesItsUnitsWithoutATerminator)
{
    const TextClipBoardFormat text("Grüße 🙂");
    std::vector<ClipBoardItemData> items;
    text.writeOSData(items);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0], utf16Bytes(u"Grüße 🙂"));
}

TEST(ClipBoardFormatTest, InternalRecordRefusesShortData)
{
    InternalClipBoardFormat internal;
    const unsigned char shortData[InternalClipBoardFormat::kRawSize - 1] = {};
    EXPECT_FALSE(internal.addRawData(shortData, sizeof shortData));
    EXPECT_EQ(internal.getData(), nullptr);

    const int anchor = 0;
    const InternalClipBoardFormat written(reinterpret_cast<const DragDropData*>(&anchor), nullptr);
    std::vector<ClipBoardItemData> items;
    written.writeOSData(items);
    ASSERT_EQ(items.size(), 1u);
    ASSERT_TRUE(internal.addRawData(items[0].data(), static_cast<long>(items[0].size())));
    EXPECT_EQ(static_cast<const void*>(internal.getData()), &anchor);

    // The type names an address of this program, so another process's
    // differs.
    EXPECT_EQ(InternalClipBoardFormat::typeName().rfind("velmora.application.internalclipboardformat.0x", 0), 0u);
}

TEST(ClipBoardFormatTest, HandlesMapTheSystemNamesAndConformThroughTheTable)
{
    EXPECT_EQ(Handle(Handle::s_StdTextFormat).getType(), Handle::kUTF16PlainText);
    EXPECT_EQ(Handle(Handle::s_StdFileListFormat).getType(), Handle::kFileURL);
    EXPECT_EQ(Handle("velmora.other").getType(), "velmora.other");

    EXPECT_TRUE(Handle::conformsTo(Handle::kUTF8PlainText, Handle::kText));
    EXPECT_TRUE(Handle::conformsTo(Handle::kFileURL, Handle::kURL));
    EXPECT_FALSE(Handle::conformsTo(Handle::kUTF8PlainText, Handle::kUTF16PlainText));
    EXPECT_FALSE(Handle::conformsTo(Handle::kFileURL, Handle::kText));
    EXPECT_FALSE(Handle::conformsTo("velmora.other", Handle::kPlainText));
}

TEST(ExchangeDataTest, TextPrefersUTF8AndTakesTheFirstItemThatReads)
{
    auto board = std::make_shared<MemoryPasteboard>();
    board->add(1, Handle::kUTF16PlainText, utf16Bytes(u"from UTF-16"));
    board->add(1, Handle::kUTF8PlainText, bytesOf("from UTF-8 \xC3\xA9"));
    board->add(2, Handle::kUTF8PlainText, bytesOf("second item"));
    EXPECT_EQ(readText(board), "from UTF-8 é");

    // Malformed UTF-8 loses its bad bytes only.
    auto malformed = std::make_shared<MemoryPasteboard>();
    malformed->add(1, Handle::kUTF8PlainText, bytesOf("A\xC3(B"));
    EXPECT_EQ(readText(malformed), "A(B");

    // An item whose data cannot be copied gives way to the next one.
    auto failing = std::make_shared<MemoryPasteboard>();
    failing->add(1, Handle::kUTF8PlainText, bytesOf("lost"));
    failing->failData(1);
    failing->add(2, Handle::kUTF16PlainText, utf16Bytes(u"kept"));
    EXPECT_EQ(readText(failing), "kept");
}

TEST(ExchangeDataTest, MissingFormatsAndUnreadablePasteboardsGiveFalse)
{
    TextClipBoardFormat text;
    EXPECT_FALSE(ExchangeData(nullptr).getFormat(text));
    EXPECT_FALSE(ExchangeData(nullptr).containsFormat(TextClipBoardFormat::FormatHandle()));

    auto files = std::make_shared<MemoryPasteboard>();
    files->add(1, Handle::kFileURL, bytesOf("file:///tmp/a"));
    EXPECT_FALSE(ExchangeData(files).containsFormat(TextClipBoardFormat::FormatHandle()));
    EXPECT_FALSE(ExchangeData(files).getFormat(text));

    auto unreadable = std::make_shared<MemoryPasteboard>();
    unreadable->add(1, Handle::kUTF8PlainText, bytesOf("x"));
    unreadable->failCount();
    EXPECT_FALSE(ExchangeData(unreadable).getFormat(text));
}

TEST(ExchangeDataTest, FileListCollectsEveryItemAndSkipsWhatIsNoFile)
{
    const std::filesystem::path folder = std::filesystem::temp_directory_path();
    auto board = std::make_shared<MemoryPasteboard>();
    board->add(1, Handle::kFileURL, bytesOf("file://" + (folder / "one%20file.txt").string()));
    board->add(2, Handle::kFileURL, bytesOf("https://example.org/"));
    board->add(3, Handle::kFileURL, bytesOf("not a url at all"));
    board->add(4, Handle::kFileURL, bytesOf("file://" + (folder / "two.png").string()));
    board->add(5, Handle::kFileURL, {});

    FileListClipBoardFormat files;
    ASSERT_TRUE(ExchangeData(board).getFormat(files));
    ASSERT_EQ(files.getFiles().size(), 2u);
    EXPECT_EQ(files.getFiles()[0].getSystemPath(false, true), (folder / "one file.txt").string());
    EXPECT_EQ(files.getFiles()[1].getName(), "two");

    // Written back, each file is one item of its own URL.
    std::vector<ClipBoardItemData> items;
    files.writeOSData(items);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(std::string(items[0].begin(), items[0].end()), "file://" + (folder / "one%20file.txt").string());
}

} // namespace
