#include <QV/UIA/Application.h>
#include <QV/UIA/EventData.h>
#include <QV/UIA/MainWindow.h>

namespace QV::UIA {

MainWindow::~MainWindow()
{
    // The application sends its commands to its main window first: left
    // set, the pointer would name freed memory for the next command.
    Application* application = Application::getApplication();
    if (application && application->getMainWindow() == this)
        application->setMainWindow(nullptr);
}

bool MainWindow::onEvent(unsigned code, EventData* data)
{
    Application* application = Application::getApplication();
    Application::WndEventExtra extra;
    extra.target = this;

    if (code == kEventWindowDestroyed) {
        if (application && !application->isQuitPending()) {
            application->postQuit();
            return true;
        }
        return Window::onEvent(code, data);
    }
    if (code == kEventCloseRequest) {
        // Closing the main window is allowed exactly when quitting is.
        QuitRequestEventData request;
        if (application)
            application->sendWndEvent(kEventQuitRequest, &request, extra);
        if (data)
            static_cast<CloseRequestEventData*>(data)->allow = request.allowed;
        return true;
    }
    if (code >= kFirstDragDropEvent && code <= kLastDragDropEvent)
        return application && application->sendWndEvent(code, data, extra);
    return Window::onEvent(code, data);
}

} // namespace QV::UIA
