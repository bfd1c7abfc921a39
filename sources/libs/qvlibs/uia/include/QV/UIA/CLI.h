#pragma once

// Declared, not included: the file-name header brings in Boost, whose
// headers Objective-C++ sources cannot include.
namespace QV::GP {
class FileName;
}

namespace QV::UIA {

// The command line as the entry point received it, and a file that the
// platform asked the application to open before the application existed.
//
// Thread affinity: main thread.
class CLI
{
public:
    CLI() = delete;

    // The vector is kept, not copied: it lives as long as the process.
    static void setCommandLineArguments(int argc, char** argv) noexcept;
    static int getArgumentCount() noexcept;
    static char** getArguments() noexcept;

    static void setCommandLineFile(const GP::FileName& file);
    // Null when none was stored.
    static const GP::FileName* getCommandLineFile() noexcept;
};

// A process-wide value, zero at start; nothing in this system changes it.
// The view's keyboard-shortcut path runs only when it equals 1.
class AppTarget
{
public:
    AppTarget() = delete;
    static unsigned& instance() noexcept;
};

} // namespace QV::UIA
