#pragma once

// The log of a test program: one line per call, appended to the file that
// UIA_TEST_LOG names and flushed at once, so that the test reading it sees
// each line as it happens. Without UIA_TEST_LOG nothing is written.
#include <cstdio>
#include <cstdlib>
#include <string>

namespace QV::UIA::Testing {

inline void note(const std::string& line)
{
    static FILE* log = [] {
        const char* path = std::getenv("UIA_TEST_LOG");
        return path ? std::fopen(path, "a") : nullptr;
    }();
    if (log) {
        std::fprintf(log, "%s\n", line.c_str());
        std::fflush(log);
    }
}

} // namespace QV::UIA::Testing
