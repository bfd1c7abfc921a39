#include <QV/QTK/Pane.h>
#include <QV/QTK/Widget.h>

#include <algorithm>

namespace QV::QTK {

Widget::Widget() = default;

Widget::~Widget()
{
    // Children held elsewhere must not point back at a parent that is gone.
    for (const auto& child : m_children)
        child->m_parent = nullptr;
    if (Pane* pane = getPane())
        pane->forgetWidget(*this);
}

void Widget::setBounds(const GP::Rect& bounds)
{
    if (bounds == m_bounds)
        return;
    const bool resized = bounds.right - bounds.left != getWidth() || bounds.bottom - bounds.top != getHeight();
    invalidateArea();
    m_bounds = bounds;
    invalidateArea();
    changedForClicks();
    if (resized)
        onResize();
}

GP::Rect Widget::getBoundsInPane() const noexcept
{
    GP::Rect r = m_bounds;
    for (const Widget* p = m_parent; p != nullptr; p = p->m_parent) {
        r.left += p->m_bounds.left;
        r.right += p->m_bounds.left;
        r.top += p->m_bounds.top;
        r.bottom += p->m_bounds.top;
    }
    return r;
}

GP::Rect Widget::getVisibleRectInPane() const noexcept
{
    GP::Rect visible = getBoundsInPane();
    for (const Widget* w = this; w != nullptr; w = w->m_parent) {
        if (!w->m_visible)
            return {};
        if (w != this)
            visible = visible.intersection(w->getBoundsInPane());
    }
    return visible.isEmpty() ? GP::Rect{} : visible;
}

bool Widget::addChild(std::shared_ptr<Widget> child)
{
    if (!child)
        return false;
    for (const Widget* w = this; w != nullptr; w = w->m_parent) {
        if (w == child.get())
            return false;
    }
    // A root or overlay of a pane belongs to it alone.
    if (child->m_parent == nullptr && child->getPane() != nullptr)
        return false;
    if (child->m_parent != nullptr)
        child->m_parent->removeChild(child.get());
    child->m_parent = this;
    m_children.push_back(child);
    child->attachToPane(getPane());
    child->changedForClicks();
    return true;
}

bool Widget::removeChild(Widget* child)
{
    const auto it = std::find_if(m_children.begin(), m_children.end(),
                                 [child](const std::shared_ptr<Widget>& c) { return c.get() == child; });
    if (it == m_children.end())
        return false;
    // Keep the child alive until it has left, whoever else holds it.
    const std::shared_ptr<Widget> keep = *it;
    keep->invalidateArea();
    m_children.erase(it);
    keep->attachToPane(nullptr);
    keep->m_parent = nullptr;
    return true;
}

void Widget::setVisible(bool visible)
{
    if (visible == m_visible)
        return;
    if (!visible)
        invalidateArea();
    m_visible = visible;
    Pane* pane = getPane();
    if (pane != nullptr && !visible) {
        // A hidden widget takes no mouse; the next move finds another one.
        pane->forgetMouse(*this);
    }
    changedForClicks();
    // An overlay coming or going covers or uncovers every other widget.
    if (pane != nullptr && pane->getOverlay() == this)
        pane->overlayChanged();
}

void Widget::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    changedForClicks();
    onEnabledChanged();
}

bool Widget::isEnabledInTree() const noexcept
{
    for (const Widget* w = this; w != nullptr; w = w->m_parent) {
        if (!w->m_enabled)
            return false;
    }
    return true;
}

bool Widget::shownAsItIsSince(std::chrono::steady_clock::time_point when) const noexcept
{
    return m_shownSince && *m_shownSince <= when;
}

void Widget::changedForClicks() noexcept
{
    m_shownSince.reset();
    m_paintedUnshown = false;
    for (const auto& child : m_children)
        child->changedForClicks();
    invalidate();
}

void Widget::invalidate() noexcept
{
    m_invalid.store(true, std::memory_order_release);
    if (Pane* pane = getPane())
        pane->markDirty();
}

bool Widget::startTimer(int ticks, int id)
{
    Pane* pane = getPane();
    if (pane == nullptr)
        return false;
    pane->startTimer(*this, ticks, id);
    return true;
}

void Widget::stopTimer(int id)
{
    if (Pane* pane = getPane())
        pane->stopTimer(*this, id);
}

void Widget::paint(UIA::Picture& /*picture*/) {}

void Widget::attachToPane(Pane* pane) noexcept
{
    Pane* const old = getPane();
    if (old == pane)
        return;
    if (old != nullptr)
        old->forgetWidget(*this);
    m_pane.store(pane, std::memory_order_release);
    m_hovered = false;
    m_pressed = false;
    m_shownSince.reset();
    m_paintedUnshown = false;
    for (const auto& child : m_children)
        child->attachToPane(pane);
    if (pane != nullptr)
        invalidate();
}

void Widget::invalidateArea() noexcept
{
    Pane* pane = getPane();
    if (pane == nullptr)
        return;
    const GP::Rect visible = getVisibleRectInPane();
    if (!visible.isEmpty())
        pane->addInvalid(visible);
}

} // namespace QV::QTK
