#pragma once

#include <QV/UIA/Window.h>

namespace QV::UIA {

// The application's main window: its close request is the application's
// quit question, and its destruction quits the application.
class MainWindow : public Window
{
public:
    MainWindow() = default;
    // Stops being the application's main window, however the object goes
    // (auto delete after the user's close, deleted by code, or taken down
    // with all windows).
    ~MainWindow() override;

    bool onEvent(unsigned code, EventData* data) override;
};

} // namespace QV::UIA
