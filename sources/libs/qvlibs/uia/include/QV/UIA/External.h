#pragma once

namespace QV::UIA::External {

// Opens a web or mail address with the user's default handler, by starting
// xdg-open with the address as its one argument (no shell sees it). Only
// http, https and mailto addresses are opened: the scheme must be one of
// those, an http or https address must name a host, and every character
// must be one that a URL may hold (no spaces, control characters or bytes
// outside ASCII; '%' only before two hex digits).
//
// True means that xdg-open was started, not that a browser or mail program
// showed the address: xdg-open reports nothing back, and it is not waited
// for (it is reaped in the background, leaving no zombie). False for a null
// or refused address, or when xdg-open could not be started (not installed).
//
// Thread affinity: any thread.
bool openURL(const char* url);

} // namespace QV::UIA::External
