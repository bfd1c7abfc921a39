#pragma once

namespace QV::UIA::DETAIL {

// Registers the font built into the library (DejaVu Sans) as the compiled
// resource "TTFd" 1, the default font, which has no other source on this
// platform. Runs at start-up; later calls do nothing.
bool registerDefaultFont();

} // namespace QV::UIA::DETAIL
