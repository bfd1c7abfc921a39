#include "Common/DebuggerBreak.h"

#include <csignal>
#include <fstream>
#include <string>

namespace QV::GP::DETAIL {

namespace {

// Linux names the tracing process in /proc/self/status; 0 means none.
bool isDebuggerAttached()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("TracerPid:", 0) == 0)
            return std::stol(line.substr(10)) != 0;
    return false;
}

} // namespace

void breakIntoDebugger()
{
    // SIGTRAP without a debugger would end the process with a core dump
    // instead of the report the caller is about to make.
    if (isDebuggerAttached())
        std::raise(SIGTRAP);
}

} // namespace QV::GP::DETAIL
