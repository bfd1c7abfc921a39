#pragma once

#include <QV/GP/CharSequence.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace QV::GP {

// Diagnostic lines for named groups ("usb", "usb.dfu"), filtered by a set of
// enabled groups. A group written with a leading '+' is always printed; one
// with a leading '-' only when the filter lets it through.
//
// Thread affinity: printLine and isGroupEnabled on any thread; the filter and
// the trace file are changed only while no other thread traces.
class DebugTrace
{
public:
    DebugTrace() = delete;

    enum eMode : std::uint32_t
    {
        // Only groups that are always enabled print.
        eModeOff = 0,
        // Groups print when the set enables them.
        eModeFilter = 1,
        // Groups print unless they are marked '-' and the set does not
        // enable them.
        eModeFilterMarked = 2,
    };

    // Prints "<group>: <text>" (or the text alone for a null or empty group)
    // and a line end, to the trace file or else the standard error stream.
    // The text is printed by its length and may hold any bytes.
    static void printLine(const char* group, const CharSequence<char>& text);

    static bool isGroupEnabled(const char* group);

    static void clearGroupFilter();
    static void setMode(eMode mode) noexcept;
    // An entry enables the group of its name and the groups below it: "usb"
    // enables "usb" and "usb.dfu", not "usbhub".
    static void addGroup(const std::string& group);
    // The stream takes the place of the standard error stream and is closed
    // by fcloseall() or by the next call; null returns to the error stream.
    static void setTraceFile(std::FILE* file);
};

// Closes the trace file when one is open and forgets it.
void fcloseall();

} // namespace QV::GP
