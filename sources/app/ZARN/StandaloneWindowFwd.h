#pragma once

// The user interface's window type, which the debug-window operation takes.
// The engine and its configuration only pass a pointer to it along and do not
// depend on the user interface's headers.
namespace QV::UIA {
class StandaloneWindow;
}
namespace QV::QTK {
template <class>
class Window;
}
