#pragma once

namespace QV::UIA {

class ClipBoardFormat;

// The general clipboard, shared with every other program of the display.
//
// Thread affinity: main thread.
class ClipBoard
{
public:
    ClipBoard() = delete;

    // Replaces the clipboard's content with the format's value. A failure
    // is not reported and may leave the clipboard empty.
    static void setFormat(const ClipBoardFormat& format);
    // Reads the format from the clipboard; false when it holds none or the
    // clipboard cannot be read.
    static bool getFormat(ClipBoardFormat& format);
};

} // namespace QV::UIA
