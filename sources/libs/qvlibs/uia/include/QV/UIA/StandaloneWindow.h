#pragma once

#include <QV/UIA/MainWindow.h>

namespace QV::UIA {

// The top-level window the application shows.
class StandaloneWindow : public MainWindow
{
public:
    StandaloneWindow() = default;
    // Leaves the application's window list, then deletes the
    // implementation.
    ~StandaloneWindow() override;

    // Creates the native window, joins the application's window list and
    // becomes its main window. False, with no implementation kept and
    // nothing joined, when the native window cannot be created.
    bool create(const CreateData& data);
};

} // namespace QV::UIA
