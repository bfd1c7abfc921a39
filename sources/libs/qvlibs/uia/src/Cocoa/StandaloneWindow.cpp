#include <QV/UIA/Application.h>
#include <QV/UIA/StandaloneWindow.h>

#include "StandaloneWindowImpl.h"

#include <exception>

namespace QV::UIA {

StandaloneWindow::~StandaloneWindow()
{
    try {
        Application::removeWindow(this);
    } catch (...) {
        std::terminate();
    }
    // Taken down here, while this is still a StandaloneWindow, so that the
    // native window goes before any part of this object.
    setImpl(nullptr);
}

bool StandaloneWindow::create(const CreateData& data)
{
    if (hasImpl())
        return false;
    auto* impl = new COCOA::StandaloneWindowImpl(*this);
    setImpl(impl);
    if (!impl->createWindowAndAttach(data, COCOA::WindowImplBase::kWindow)) {
        // A window without its native window would run on unseen; the
        // caller must know that it has none.
        setImpl(nullptr);
        return false;
    }
    Application::addWindow(this);
    if (Application* application = Application::getApplication())
        application->setMainWindow(this);
    return true;
}

} // namespace QV::UIA
