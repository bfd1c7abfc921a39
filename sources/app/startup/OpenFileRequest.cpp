#include "OpenFileRequest.h"

#include <QV/GP/CharSequence.h>
#include <QV/GP/FileName.h>
#include <QV/GP/URI.h>
#include <QV/UIA/AppModule.h>
#include <QV/UIA/Application.h>
#include <QV/UIA/CLI.h>
#include <QV/UIA/EventData.h>

#include <cstring>

namespace QV {

bool openFileRequest(const char* fileURL)
{
    if (!fileURL)
        return false;
    GP::URI uri;
    GP::FileName file;
    if (!uri.createCanonicalLocation(GP::CharSequence<char>(fileURL, std::strlen(fileURL))) || !uri.getFileName(file))
        return false;
    UIA::Application* application
        = UIA::AppModule::getCurrentModule() ? UIA::Application::getApplication() : nullptr;
    if (application) {
        UIA::OpenFileEventData data;
        data.file = &file;
        return application->sendEvent(UIA::kEventOpenFile, &data);
    }
    UIA::CLI::setCommandLineFile(file);
    return true;
}

} // namespace QV
