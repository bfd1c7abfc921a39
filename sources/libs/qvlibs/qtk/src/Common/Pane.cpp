#include <QV/QTK/Pane.h>
#include <QV/QTK/Widget.h>
#include <QV/UIA/Picture.h>

#include <algorithm>
#include <new>

namespace QV::QTK {

namespace {

GP::Rect offsetRect(const GP::Rect& r, int dx, int dy) noexcept
{
    return {r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
}

bool containsPoint(const GP::Rect& r, const GP::Point& p) noexcept
{
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

bool isInSubtree(const Widget* widget, const Widget& top) noexcept
{
    for (; widget != nullptr; widget = widget->getParent()) {
        if (widget == &top)
            return true;
    }
    return false;
}

} // namespace

Pane::Pane() = default;

Pane::~Pane()
{
    if (m_overlay)
        m_overlay->attachToPane(nullptr);
    if (m_root)
        m_root->attachToPane(nullptr);
}

bool Pane::setRoot(std::shared_ptr<Widget> root)
{
    if (root && (root->getParent() != nullptr || (root->getPane() != nullptr && root.get() != m_root.get())))
        return false;
    if (root.get() == m_root.get())
        return true;
    if (m_root)
        m_root->attachToPane(nullptr);
    m_root = std::move(root);
    if (m_root) {
        m_root->attachToPane(this);
        m_root->setBounds({0, 0, m_width, m_height});
    }
    invalidateAll();
    return true;
}

bool Pane::setOverlay(std::shared_ptr<Widget> overlay)
{
    if (overlay &&
        (overlay->getParent() != nullptr || (overlay->getPane() != nullptr && overlay.get() != m_overlay.get())))
        return false;
    if (overlay.get() == m_overlay.get())
        return true;
    if (m_overlay) {
        m_overlay->invalidateArea();
        m_overlay->attachToPane(nullptr);
    }
    m_overlay = std::move(overlay);
    if (m_overlay)
        m_overlay->attachToPane(this);
    overlayChanged();
    // What the widgets under the mouse are may have changed.
    setHovered(nullptr);
    return true;
}

void Pane::overlayChanged() noexcept
{
    if (m_root)
        m_root->changedForClicks();
    if (m_overlay)
        m_overlay->changedForClicks();
}

void Pane::setSize(int width, int height)
{
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width == m_width && height == m_height)
        return;
    m_width = width;
    m_height = height;
    if (m_root)
        m_root->setBounds({0, 0, width, height});
    invalidateAll();
}

void Pane::setBackground(std::uint32_t colour)
{
    m_background = colour;
    invalidateAll();
}

void Pane::invalidateRect(const GP::Rect& rect)
{
    const GP::Rect cut = rect.intersection({0, 0, m_width, m_height});
    if (!cut.isEmpty())
        addInvalid(cut);
}

void Pane::invalidateAll()
{
    invalidateRect({0, 0, m_width, m_height});
}

void Pane::addToRegion(const GP::Rect& rect) noexcept
{
    try {
        m_invalid.addFast(rect);
    } catch (const std::bad_alloc&) {
        // Painting more than needed is better than leaving stale pixels.
        m_invalidAll = true;
    }
}

void Pane::addInvalid(const GP::Rect& rect) noexcept
{
    addToRegion(rect);
    markDirty();
}

bool Pane::needsUpdate() const noexcept
{
    return m_dirty.load(std::memory_order_acquire) || m_invalidAll || !m_invalid.isEmpty();
}

void Pane::collectInvalid(Widget& widget, const GP::Rect& clip)
{
    // Every flag is taken, even under a hidden ancestor, so that a widget
    // shown later is not painted twice for an old request.
    const bool invalid = widget.takeInvalid();
    const GP::Rect area = widget.m_visible ? widget.getBoundsInPane().intersection(clip) : GP::Rect{};
    if (invalid && !area.isEmpty())
        addToRegion(area);
    for (const auto& child : widget.m_children)
        collectInvalid(*child, area);
}

bool Pane::paintInvalid(UIA::Picture& picture, GP::Region& painted)
{
    // The pane's flag first: a widget flagged after it was taken raises it
    // again for the next round.
    m_dirty.exchange(false, std::memory_order_acq_rel);
    const GP::Rect whole{0, 0, m_width, m_height};
    if (m_root)
        collectInvalid(*m_root, whole);
    if (m_overlay)
        collectInvalid(*m_overlay, whole);

    GP::Region region;
    if (m_invalidAll) {
        m_invalid.makeEmpty();
        m_invalidAll = false;
        region.addFast(whole);
    } else {
        region.expropriate(m_invalid);
    }
    if (region.isEmpty())
        return false;
    paintRegion(picture, region);
    GP::Region::add(painted, painted, region);
    return true;
}

void Pane::paintRegion(UIA::Picture& picture, const GP::Region& region)
{
    const GP::Rect limit = GP::Rect{0, 0, m_width, m_height}.intersection(
        {0, 0, picture.getWidth(), picture.getHeight()});
    if (limit.isEmpty())
        return;
    GP::Region::const_intersector parts(region, limit, GP::Point{0, 0});
    GP::Rect part;
    while (parts.next(part)) {
        picture.resetClipRect();
        picture.setOrigin({0, 0});
        picture.fillArea(part.left, part.top, part.right - part.left, part.bottom - part.top, m_background);
        if (m_root)
            paintTree(picture, *m_root, limit, part);
        if (m_overlay)
            paintTree(picture, *m_overlay, limit, part);
    }
    picture.resetClipRect();
    picture.setOrigin({0, 0});
}

void Pane::paintTree(UIA::Picture& picture, Widget& widget, const GP::Rect& parentClip, const GP::Rect& area)
{
    if (!widget.m_visible)
        return;
    const GP::Rect bounds = widget.getBoundsInPane();
    const GP::Rect clip = bounds.intersection(parentClip);
    if (clip.isEmpty())
        return;
    const GP::Rect drawn = clip.intersection(area);
    if (drawn.isEmpty())
        return;
    picture.resetClipRect();
    picture.setOrigin({bounds.left, bounds.top});
    picture.setClipRect(offsetRect(drawn, -bounds.left, -bounds.top));
    widget.paint(picture);
    if (!widget.m_shownSince) {
        widget.m_paintedUnshown = true;
        m_paintedUnshown = true;
    }
    for (const auto& child : widget.m_children)
        paintTree(picture, *child, clip, area);
}

void Pane::noteShown(std::chrono::steady_clock::time_point when)
{
    if (!m_paintedUnshown)
        return;
    m_paintedUnshown = false;
    if (m_root)
        noteShownIn(*m_root, when);
    if (m_overlay)
        noteShownIn(*m_overlay, when);
}

void Pane::noteShownIn(Widget& widget, std::chrono::steady_clock::time_point when) noexcept
{
    if (widget.m_paintedUnshown) {
        widget.m_paintedUnshown = false;
        widget.m_shownSince = when;
    }
    for (const auto& child : widget.m_children)
        noteShownIn(*child, when);
}

Widget* Pane::findIn(Widget& widget, const GP::Point& where, const GP::Rect& clip) const
{
    if (!widget.m_visible)
        return nullptr;
    const GP::Rect area = widget.getBoundsInPane().intersection(clip);
    if (area.isEmpty() || !containsPoint(area, where))
        return nullptr;
    // Later children lie above earlier ones.
    for (auto it = widget.m_children.rbegin(); it != widget.m_children.rend(); ++it) {
        if (Widget* hit = findIn(**it, where, area))
            return hit;
    }
    return &widget;
}

Widget* Pane::findMouseTarget(const GP::Point& where) const
{
    const GP::Rect whole{0, 0, m_width, m_height};
    Widget* hit = nullptr;
    // The overlay hides what lies under it, and only that: the widgets beside
    // it are in view, and in use as they look.
    if (m_overlay && m_overlay->m_visible && containsPoint(m_overlay->getBoundsInPane().intersection(whole), where))
        hit = findIn(*m_overlay, where, whole);
    else if (m_root)
        hit = findIn(*m_root, where, whole);
    while (hit != nullptr && !hit->wantsMouse())
        hit = hit->m_parent;
    return hit;
}

void Pane::setHovered(Widget* widget)
{
    if (widget == m_hovered)
        return;
    Widget* old = m_hovered;
    m_hovered = widget;
    if (old != nullptr) {
        old->m_hovered = false;
        old->onHoverChanged();
    }
    if (widget != nullptr) {
        widget->m_hovered = true;
        widget->onHoverChanged();
    }
}

void Pane::setPressedState(Widget* widget, bool pressed)
{
    if (widget == nullptr || widget->m_pressed == pressed)
        return;
    widget->m_pressed = pressed;
    widget->onPressChanged();
}

bool Pane::mouseMove(const GP::Point& where)
{
    Widget* target = findMouseTarget(where);
    if (target != nullptr && !target->isEnabledInTree())
        target = nullptr;
    setHovered(target);
    // A pressed widget looks pressed only while the mouse is over it.
    if (m_pressed != nullptr)
        setPressedState(m_pressed, target == m_pressed);
    return target != nullptr;
}

bool Pane::mouseDown(const GP::Point& where, std::optional<std::chrono::steady_clock::time_point> madeAt)
{
    Widget* target = findMouseTarget(where);
    if (target == nullptr || !target->isEnabledInTree())
        return false;
    if (madeAt && !target->shownAsItIsSince(*madeAt))
        return false;
    if (m_pressed != nullptr && m_pressed != target)
        setPressedState(m_pressed, false);
    m_pressed = target;
    setHovered(target);
    setPressedState(target, true);
    return true;
}

bool Pane::mouseUp(const GP::Point& where)
{
    Widget* pressed = m_pressed;
    if (pressed == nullptr)
        return false;
    m_pressed = nullptr;
    setPressedState(pressed, false);
    if (findMouseTarget(where) != pressed || !pressed->isEnabledInTree())
        return true;
    const GP::Rect bounds = pressed->getBoundsInPane();
    // Last: the click may change or destroy the widget tree.
    pressed->onClick({where.x - bounds.left, where.y - bounds.top});
    return true;
}

void Pane::mouseLeave()
{
    setHovered(nullptr);
    if (m_pressed != nullptr)
        setPressedState(m_pressed, false);
}

void Pane::startTimer(Widget& widget, int ticks, int id)
{
    ticks = std::max(ticks, 1);
    for (Timer& timer : m_timers) {
        if (timer.widget == &widget && timer.id == id) {
            timer.remaining = ticks;
            return;
        }
    }
    m_timers.push_back({&widget, id, ticks});
    if (m_wake)
        m_wake();
}

void Pane::stopTimer(Widget& widget, int id)
{
    for (Timer& timer : m_timers) {
        if (timer.widget == &widget && timer.id == id)
            timer.widget = nullptr;
    }
}

void Pane::forgetWidget(Widget& widget) noexcept
{
    for (Timer& timer : m_timers) {
        if (timer.widget == &widget)
            timer.widget = nullptr;
    }
    if (m_hovered == &widget)
        m_hovered = nullptr;
    if (m_pressed == &widget)
        m_pressed = nullptr;
}

void Pane::forgetMouse(Widget& widget) noexcept
{
    if (isInSubtree(m_hovered, widget)) {
        m_hovered->m_hovered = false;
        m_hovered->invalidate();
        m_hovered = nullptr;
    }
    if (isInSubtree(m_pressed, widget)) {
        m_pressed->m_pressed = false;
        m_pressed->invalidate();
        m_pressed = nullptr;
    }
}

void Pane::tick()
{
    ++m_tickDepth;
    // Timers started while this tick runs wait for the next one; entries
    // are looked up by index because a started timer may move the vector.
    const std::size_t count = m_timers.size();
    for (std::size_t i = 0; i < count; ++i) {
        if (m_timers[i].widget == nullptr || --m_timers[i].remaining > 0)
            continue;
        Widget* widget = m_timers[i].widget;
        const int id = m_timers[i].id;
        m_timers[i].widget = nullptr;
        widget->onTimer(id);
    }
    if (--m_tickDepth == 0)
        std::erase_if(m_timers, [](const Timer& timer) { return timer.widget == nullptr; });
}

bool Pane::hasTimers() const noexcept
{
    return std::any_of(m_timers.begin(), m_timers.end(), [](const Timer& t) { return t.widget != nullptr; });
}

} // namespace QV::QTK
