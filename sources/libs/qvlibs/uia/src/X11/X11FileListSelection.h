#pragma once

// File lists on the display's clipboard (the CLIPBOARD selection) as
// text/uri-list, the form other X programs use. GNUstep's pasteboard server
// neither offers nor reads that type, so the layer owns the selection
// itself while it offers a file list.
//
// Thread affinity: main thread; the selection is served by a thread of its
// own with a display connection of its own.

#include <optional>
#include <string>
#include <vector>

namespace QV::UIA::DETAIL::X11 {

// Takes the clipboard over and offers the URLs until another program
// takes it; false when the display cannot be reached or refused.
bool offerFileList(const std::vector<std::string>& urls);

// The URLs the clipboard's owner offers as text/uri-list: none when it
// offers no such list, does not answer in time, or no display is there.
std::optional<std::vector<std::string>> readFileList();

// The URLs of a text/uri-list: one per line, comment lines (#) and empty
// lines left out, line ends CR LF or LF.
std::vector<std::string> parseURIList(const std::string& text);
std::string makeURIList(const std::vector<std::string>& urls);

} // namespace QV::UIA::DETAIL::X11
