#include <QV/UIA/DragDrop.h>

namespace QV::UIA {

namespace {
// Installed before the entry point, so that a window never finds none.
std::unique_ptr<IDragDropDelegate>& installedDelegate()
{
    static std::unique_ptr<IDragDropDelegate> delegate = std::make_unique<NOPDragDropDelegate>();
    return delegate;
}
[[maybe_unused]] const bool s_installedAtStart = (installedDelegate(), true);

class WindowingDragDropDelegate : public IDragDropDelegate
{
};
} // namespace

std::unique_ptr<IDragDropDelegate> makeWindowingDragDropDelegate()
{
    return std::make_unique<WindowingDragDropDelegate>();
}

void setDragDropDelegate(std::unique_ptr<IDragDropDelegate> delegate)
{
    installedDelegate() = delegate ? std::move(delegate) : std::make_unique<NOPDragDropDelegate>();
}

IDragDropDelegate& getDragDropDelegate()
{
    return *installedDelegate();
}

} // namespace QV::UIA
