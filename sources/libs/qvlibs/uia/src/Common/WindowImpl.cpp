#include <QV/GP/Region.h>
#include <QV/UIA/Application.h>
#include <QV/UIA/DETAIL/WindowImpl.h>
#include <QV/UIA/EventData.h>
#include <QV/UIA/WindowBase.h>

namespace QV::UIA::DETAIL {

void WindowImpl::idealSize()
{
    if (!isNormalSize())
        return;
    IdealSizeEventData query;
    if (sendEvent(kEventIdealSizeQuery, &query, false))
        setSize({query.width, query.height}, true);
}

bool WindowImpl::isIdealSize() const
{
    if (!isNormalSize())
        return false;
    IdealSizeEventData query;
    if (!const_cast<WindowImpl*>(this)->sendEvent(kEventIdealSizeQuery, &query, false))
        return true;
    return getSize(true) == GP::Point{query.width, query.height};
}

void WindowImpl::invalidateRegion(const GP::Region& region)
{
    if (!region.first()) {
        if (!region.bounds().isEmpty())
            invalidateRect(region.bounds());
        return;
    }
    for (const GP::Region::Item* item = region.first(); item; item = item->next)
        invalidateRect(item->value);
}

GP::Point WindowImpl::getPosition(bool contentArea) const
{
    GP::Rect rect;
    getRect(rect, contentArea);
    return {rect.left, rect.top};
}

void WindowImpl::setPosition(const GP::Point& position, bool contentArea)
{
    GP::Rect rect;
    getRect(rect, contentArea);
    const GP::Rect moved{position.x, position.y, position.x + (rect.right - rect.left),
                         position.y + (rect.bottom - rect.top)};
    setRect(moved, contentArea);
}

GP::Point WindowImpl::getSize(bool contentArea) const
{
    GP::Rect rect;
    getRect(rect, contentArea);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

void WindowImpl::setSize(const GP::Point& size, bool contentArea)
{
    GP::Rect rect;
    getRect(rect, contentArea);
    rect.right = rect.left + size.x;
    rect.bottom = rect.top + size.y;
    setRect(rect, contentArea);
}

bool WindowImpl::sendEvent(unsigned code, EventData* data, bool forwardToApplication)
{
    if (m_owner.sendEvent(code, data))
        return true;
    if (!forwardToApplication)
        return false;
    Application* application = Application::getApplication();
    return application && application->sendEvent(code, data);
}

void WindowImpl::releaseFromOwner() noexcept
{
    WindowBase* owner = &m_owner;
    const bool deleteOwner = m_deleteWindowObject;
    owner->onImplDestroyed();
    delete this;
    if (deleteOwner)
        delete owner;
}

} // namespace QV::UIA::DETAIL
