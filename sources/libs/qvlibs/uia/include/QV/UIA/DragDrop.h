#pragma once

#include <memory>

namespace QV::UIA {

// The process-wide delegate that windows ask about drag and drop. No drag
// and drop exists yet: every delegate answers nothing.
class IDragDropDelegate
{
public:
    virtual ~IDragDropDelegate() = default;
};

class NOPDragDropDelegate : public IDragDropDelegate
{
};

// The delegate that works over the platform's drag pasteboard.
std::unique_ptr<IDragDropDelegate> makeWindowingDragDropDelegate();

// Installs the delegate, destroying the previous one; null installs a
// do-nothing delegate. Thread affinity: main thread.
void setDragDropDelegate(std::unique_ptr<IDragDropDelegate> delegate);
IDragDropDelegate& getDragDropDelegate();

} // namespace QV::UIA
