#pragma once

#include <QV/UIA/Window.h>

namespace QV::UIA {

// The application's main window: its close request is the application's
// quit question, and its destruction quits the application.
class MainWindow : public Window
{
public:
    bool onEvent(unsigned code, EventData* data) override;
};

} // namespace QV::UIA
