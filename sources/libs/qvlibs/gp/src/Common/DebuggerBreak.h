#pragma once

namespace QV::GP::DETAIL {

// Stops in the debugger when one is attached to the process; without one it
// does nothing, so that the caller goes on with its report.
void breakIntoDebugger();

} // namespace QV::GP::DETAIL
