// The general clipboard as the layer offers it, for tests against other X
// programs. Text travels as hexadecimal UTF-8 on the command line and the
// output, so that every byte is compared exactly.
//
//   put-text HEX       puts the text, prints "ready" once other programs
//   put-files PATH...  read it from the clipboard, then keeps the clipboard
//                      (and the pasteboard server it started) until it is
//                      ended; prints "not on the clipboard" and exits 1 when
//                      they do not within 20 s
//   get-text           prints the text as HEX; "none" and exit 1 when there
//                      is none, so that a failed read is told from a
//                      process that ended
//   get-files          prints one path a line; "none" and exit 1 when there
//                      is none
#include "../../src/X11/X11ClipboardSelection.h"
#include "HexText.h"

#include <QV/GP/FileName.h>
#include <QV/UIA/ClipBoard.h>
#include <QV/UIA/FileListClipBoardFormat.h>
#include <QV/UIA/TextClipBoardFormat.h>

#include <boost/filesystem/path.hpp>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

namespace {

using QV::UIA::Testing::toHex;

std::string fromHex(const char* hex)
{
    std::string text;
    for (std::size_t i = 0; hex[i] != '\0' && hex[i + 1] != '\0'; i += 2)
        text.push_back(static_cast<char>(std::stoi(std::string(hex + i, 2), nullptr, 16)));
    return text;
}

// The pasteboard server takes the clipboard in its own time after the put
// has returned: "ready" waits until another program reading the clipboard
// gets what was put.
[[noreturn]] void holdClipboard(const std::function<bool(const QV::UIA::DETAIL::X11::ClipboardContent&)>& put)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!put(QV::UIA::DETAIL::X11::readClipboard())) {
        if (std::chrono::steady_clock::now() > end) {
            std::printf("not on the clipboard\n");
            std::exit(1);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;)
        pause();
}

} // namespace

int main(int argc, char** argv)
{
    using namespace QV::UIA;
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "put-text" && argc == 3) {
        const std::string text = fromHex(argv[2]);
        ClipBoard::setFormat(TextClipBoardFormat(text));
        holdClipboard([&](const auto& content) { return content.text == text; });
    }
    if (command == "put-files" && argc > 2) {
        std::vector<QV::GP::FileName> files;
        for (int i = 2; i < argc; ++i)
            files.emplace_back(boost::filesystem::path(argv[i]));
        const FileListClipBoardFormat list(files);
        ClipBoard::setFormat(list);
        std::vector<ClipBoardItemData> items;
        list.writeOSData(items);
        std::vector<std::string> urls;
        for (const ClipBoardItemData& item : items)
            urls.emplace_back(item.begin(), item.end());
        holdClipboard([&](const auto& content) { return content.urls == urls; });
    }
    if (command == "get-text") {
        TextClipBoardFormat text;
        if (!ClipBoard::getFormat(text)) {
            std::printf("none\n");
            return 1;
        }
        std::printf("%s\n", toHex(text.getValue()).c_str());
        return 0;
    }
    if (command == "get-files") {
        FileListClipBoardFormat files;
        if (!ClipBoard::getFormat(files)) {
            std::printf("none\n");
            return 1;
        }
        for (const QV::GP::FileName& file : files.getFiles())
            std::printf("%s\n", file.getFilesystemPath().c_str());
        return 0;
    }
    std::fprintf(stderr, "usage: %s put-text HEX | put-files PATH... | get-text | get-files\n", argv[0]);
    return 2;
}
