#include <QV/GP/Application.h>

#include <cstring>

namespace QV::GP {

namespace {

FileTypeMacMagic s_appSignature = makeFileTypeMacMagic("????");
char s_appNameBuffer[Application::kNameBufferSize] = "Velmora";
const char* const s_pAppName = s_appNameBuffer;

} // namespace

void Application::setSignature(FileTypeMacMagic signature) noexcept
{
    s_appSignature = signature;
}

FileTypeMacMagic Application::getSignature() noexcept
{
    return s_appSignature;
}

void Application::setName(const char* name) noexcept
{
    if (name == nullptr)
        return;
    const std::size_t length = strnlen(name, kNameBufferSize - 1);
    std::memcpy(s_appNameBuffer, name, length);
    s_appNameBuffer[length] = '\0';
}

const char* Application::getName() noexcept
{
    return s_pAppName;
}

} // namespace QV::GP
