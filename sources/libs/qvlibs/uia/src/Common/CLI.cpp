#include <QV/GP/FileName.h>
#include <QV/UIA/CLI.h>

#include <optional>

namespace QV::UIA {

namespace {
int s_argc = 0;
char** s_argv = nullptr;
std::optional<GP::FileName>& commandLineFile()
{
    static std::optional<GP::FileName> file;
    return file;
}
} // namespace

void CLI::setCommandLineArguments(int argc, char** argv) noexcept
{
    s_argc = argc;
    s_argv = argv;
}

int CLI::getArgumentCount() noexcept
{
    return s_argc;
}

char** CLI::getArguments() noexcept
{
    return s_argv;
}

void CLI::setCommandLineFile(const GP::FileName& file)
{
    commandLineFile() = file;
}

const GP::FileName* CLI::getCommandLineFile() noexcept
{
    return commandLineFile() ? &*commandLineFile() : nullptr;
}

unsigned& AppTarget::instance() noexcept
{
    static unsigned target = 0;
    return target;
}

} // namespace QV::UIA
