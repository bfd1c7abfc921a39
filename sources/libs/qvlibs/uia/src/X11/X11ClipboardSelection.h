#pragma once

// The display's clipboard (the CLIPBOARD selection) in the forms other X
// programs use, for what GNUstep's pasteboard server cannot carry: file
// lists as text/uri-list, a type it neither offers nor reads, and UTF-8 text
// that the owner sends in chunks (X's incremental transfer, INCR), which the
// server of Debian 12's GNUstep (gpbs 0.29) never finishes reading. The
// layer owns the selection itself while it offers a file list.
//
// Thread affinity: main thread; the selection is served by a thread of its
// own with a display connection of its own, and each read's connection is
// closed on a thread of its own.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace QV::UIA::DETAIL::X11 {

// The most bytes one conversion may bring, at once or in chunks: more is
// refused rather than kept, so that another program cannot make this one
// hold what it pleases.
constexpr std::size_t kMostSelectionBytes = std::size_t(16) << 20;

// Takes the clipboard over and offers the URLs until another program
// takes it; false when the display cannot be reached or refused.
bool offerFileList(const std::vector<std::string>& urls);

// What the clipboard's owner offers of the two forms read here.
struct ClipboardContent
{
    // Whether the owner names UTF8_STRING among its targets: its text is
    // then read here, never through GNUstep.
    bool offersText = false;
    // The text as the owner sent it (UTF-8, not checked), when offered and
    // read whole within the limits.
    std::optional<std::string> text;
    // The URLs of its text/uri-list, when it offers one that was read whole.
    std::optional<std::vector<std::string>> urls;
    // Whether the owner named its targets in more than kMostSelectionBytes:
    // nothing more is asked of it, here or through GNUstep, whose pasteboard
    // server would take them all in.
    bool refused = false;
    // The most bytes of the owner's that the read held at once (what it had
    // collected and the piece being taken), counted as Xlib hands them out.
    std::size_t mostBytesHeld = 0;
};

// How long one read may take. The defaults serve the program; tests shorten
// them.
struct ReadLimits
{
    // For each answer of the owner: long enough for a busy owner, short
    // enough that a program that never answers does not hang the caller.
    std::chrono::milliseconds answer{2000};
    // For the whole read, every conversion and chunk together:
    // kMostSelectionBytes take well below a second from a program that
    // answers at all.
    std::chrono::milliseconds whole{10000};
};

// Asks the owner for its targets and then for the offered forms; empty when
// no display can be reached, no program owns the clipboard or its owner does
// not name its targets in time. Only the answer to the request made, in the
// type that the form has, is taken; anything else the owner sends is
// dropped.
ClipboardContent readClipboard(const ReadLimits& limits = {});

// The URLs of a text/uri-list: one per line, comment lines (#) and empty
// lines left out, line ends CR LF or LF.
std::vector<std::string> parseURIList(const std::string& text);
std::string makeURIList(const std::vector<std::string>& urls);

} // namespace QV::UIA::DETAIL::X11
