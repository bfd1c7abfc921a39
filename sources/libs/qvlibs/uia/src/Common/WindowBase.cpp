#include <QV/UIA/DETAIL/WindowImpl.h>
#include <QV/UIA/EventData.h>
#include <QV/UIA/WindowBase.h>

#include <cstring>

namespace QV::UIA {

void WindowBase::CreateData::setTitle(const char* text)
{
    if (!text)
        text = "";
    const std::size_t size = std::strlen(text) + 1;
    if (title.size() < size)
        title.resize(size);
    std::memcpy(title.data(), text, size);
    flags |= kCreateTitle;
}

WindowBase::~WindowBase()
{
    setImpl(nullptr);
}

void WindowBase::setImpl(DETAIL::WindowImpl* impl)
{
    DETAIL::WindowImpl* previous = m_impl;
    m_impl = impl;
    if (previous) {
        // This object may be half destroyed: the implementation must not
        // delete it again while it takes its native window down.
        previous->setDeleteWindowObject(false);
        delete previous;
    }
    if (m_impl)
        m_impl->setDeleteWindowObject(m_autoDelete);
}

void WindowBase::setCursor(void* cursor)
{
    if (m_impl)
        m_impl->setCursor(cursor);
}

void WindowBase::resetCursor()
{
    if (m_impl)
        m_impl->resetCursor();
}

void WindowBase::destroy()
{
    // The implementation may delete itself and, with auto delete, this
    // window: nothing may follow the call.
    if (m_impl)
        m_impl->destroy();
}

bool WindowBase::isVisible() const
{
    return m_impl && m_impl->isVisible();
}

void WindowBase::show(bool visible)
{
    if (visible && !isVisible()) {
        EventData none;
        sendEvent(kEventWindowShown, &none);
    }
    if (m_impl)
        m_impl->show(visible);
}

void WindowBase::setWindowIcon(AppModule* module, int resourceId)
{
    if (m_impl)
        m_impl->setWindowIcon(module, resourceId);
}

void WindowBase::invalidate()
{
    if (m_impl)
        m_impl->invalidate();
}

void WindowBase::invalidateRegion(const GP::Region& region)
{
    if (m_impl)
        m_impl->invalidateRegion(region);
}

GP::Point WindowBase::getSize(bool contentArea) const
{
    return m_impl ? m_impl->getSize(contentArea) : GP::Point{};
}

void WindowBase::toScreen(GP::Point& point) const
{
    if (m_impl)
        m_impl->toScreen(point);
}

void WindowBase::setKeyFocus()
{
    if (m_impl)
        m_impl->setKeyFocus();
}

void WindowBase::startRelativeMouseMove()
{
    if (m_impl)
        m_impl->startRelativeMouseMove();
}

void WindowBase::stopRelativeMouseMove()
{
    if (m_impl)
        m_impl->stopRelativeMouseMove();
}

float WindowBase::getBackingScaleFactor() const
{
    return m_impl ? m_impl->getBackingScaleFactor() : 1.0f;
}

void WindowBase::textInputResetMarkedRange()
{
    if (m_impl)
        m_impl->textInputResetMarkedRange();
}

bool WindowBase::getState(WindowState& state) const
{
    if (!m_impl)
        return false;
    m_impl->getState(state);
    return true;
}

bool WindowBase::restoreState(const WindowState& state)
{
    if (!m_impl)
        return false;
    m_impl->restoreState(state);
    return true;
}

bool WindowBase::updateOffscreenPicture(const Picture& picture)
{
    return m_impl && m_useOffscreenPicture && m_impl->updateOffscreenPicture(picture);
}

void WindowBase::setAutoDelete(bool autoDelete)
{
    m_autoDelete = autoDelete;
    if (m_impl)
        m_impl->setDeleteWindowObject(autoDelete);
}

void* WindowBase::getNSView() const
{
    return m_impl && m_impl->isCocoa() ? m_impl->getNativeView() : nullptr;
}

} // namespace QV::UIA
