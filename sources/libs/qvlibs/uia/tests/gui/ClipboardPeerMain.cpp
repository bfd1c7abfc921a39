// The general clipboard as the layer offers it, for tests against other X
// programs. Text travels as hexadecimal UTF-8 on the command line and the
// output, so that every byte is compared exactly.
//
//   put-text HEX       puts the text, prints "ready", then keeps the
//   put-files PATH...  clipboard (and the pasteboard server it started)
//                      until it is ended
//   get-text           prints the text as HEX; "none" and exit 1 when there
//                      is none, so that a failed read is told from a
//                      process that ended
//   get-files          prints one path a line; "none" and exit 1 when there
//                      is none
#include "HexText.h"

#include <QV/GP/FileName.h>
#include <QV/UIA/ClipBoard.h>
#include <QV/UIA/FileListClipBoardFormat.h>
#include <QV/UIA/TextClipBoardFormat.h>

#include <boost/filesystem/path.hpp>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

using QV::UIA::Testing::toHex;

std::string fromHex(const char* hex)
{
    std::string text;
    for (std::size_t i = 0; hex[i] != '\0' && hex[i + 1] != '\0'; i += 2)
        text.push_back(static_cast<char>(std::stoi(std::string(hex + i, 2), nullptr, 16)));
    return text;
}

[[noreturn]] void holdClipboard()
{
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
        ClipBoard::setFormat(TextClipBoardFormat(fromHex(argv[2])));
        holdClipboard();
    }
    if (command == "put-files" && argc > 2) {
        std::vector<QV::GP::FileName> files;
        for (int i = 2; i < argc; ++i)
            files.emplace_back(boost::filesystem::path(argv[i]));
        ClipBoard::setFormat(FileListClipBoardFormat(files));
        holdClipboard();
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
