#pragma once

#include <QV/GP/Point.h>
#include <QV/GP/Rect.h>
#include <QV/GP/symbol.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

namespace QV::UIA {
class Picture;
}

namespace QV::QTK {

class Pane;

// The base of every widget: a rectangle inside its parent, the children it
// holds by shared pointer (later children lie above earlier ones), and the
// parent and pane it belongs to. A widget paints itself in its own
// coordinates, (0, 0) being its top-left corner; the pane clips what it
// draws to its bounds, to every ancestor's bounds and to the area being
// repainted.
//
// Thread affinity: main thread, except invalidate(), which any thread may
// call while the widget is alive.
class Widget
{
public:
    Widget();
    // Leaves the pane: its pending timers are cancelled and the pane forgets
    // it as the hovered or pressed widget.
    virtual ~Widget();
    Widget(const Widget&) = delete;
    Widget& operator=(const Widget&) = delete;

    void setId(qv::symbol id) { m_id = id; }
    const qv::symbol& getId() const noexcept { return m_id; }

    // Bounds in the parent's coordinates (the pane's for a root or overlay).
    // A change repaints the old and the new place and calls onResize when
    // the size changed.
    void setBounds(const GP::Rect& bounds);
    const GP::Rect& getBounds() const noexcept { return m_bounds; }
    int getWidth() const noexcept { return m_bounds.right - m_bounds.left; }
    int getHeight() const noexcept { return m_bounds.bottom - m_bounds.top; }
    // The bounds in the pane's coordinates.
    GP::Rect getBoundsInPane() const noexcept;
    // The part of the widget that can show: its bounds in the pane cut by
    // every ancestor's bounds; empty when any of them is hidden.
    GP::Rect getVisibleRectInPane() const noexcept;

    // Adds the child on top of the others; a child that has a parent
    // already is taken from it first. Adding null, the widget itself or one
    // of its ancestors does nothing and answers false.
    bool addChild(std::shared_ptr<Widget> child);
    // The child leaves this widget and the pane; false when it is not a
    // child of this widget.
    bool removeChild(Widget* child);
    const std::vector<std::shared_ptr<Widget>>& getChildren() const noexcept { return m_children; }
    Widget* getParent() const noexcept { return m_parent; }
    Pane* getPane() const noexcept { return m_pane.load(std::memory_order_acquire); }

    void setVisible(bool visible);
    bool isVisible() const noexcept { return m_visible; }
    void setEnabled(bool enabled);
    bool isEnabled() const noexcept { return m_enabled; }
    // Enabled itself and every ancestor.
    bool isEnabledInTree() const noexcept;

    // Set by the pane as the mouse moves, presses and releases.
    bool isHovered() const noexcept { return m_hovered; }
    bool isPressed() const noexcept { return m_pressed; }

    // Whether the screen has shown the widget as it is now (where it is,
    // shown, enabled or not, what it says) since `when` or earlier; false
    // until a picture painted since its last such change has been shown.
    bool shownAsItIsSince(std::chrono::steady_clock::time_point when) const noexcept;

    // Asks for a repaint of the whole widget. Sets an atomic flag on the
    // widget and on its pane, which picks it up on the main thread; safe from
    // any thread.
    void invalidate() noexcept;
    // Takes the flag (main thread, by the pane).
    bool takeInvalid() noexcept { return m_invalid.exchange(false, std::memory_order_acq_rel); }

    // One-shot timer counted in the pane's 40 ms ticks: onTimer(id) runs
    // once after that many ticks (at least one). Starting an id that is
    // pending restarts it. False when the widget is in no pane.
    bool startTimer(int ticks, int id = 0);
    void stopTimer(int id = 0);

    // Whether the widget takes mouse clicks and hover itself; a widget that
    // does not passes them to the nearest ancestor that does.
    virtual bool wantsMouse() const noexcept { return false; }

    // Paints the widget (not its children) in its own coordinates; the
    // picture's origin and clip are set by the pane.
    virtual void paint(UIA::Picture& picture);

protected:
    // The size changed; the place of the children may follow.
    virtual void onResize() {}
    virtual void onTimer(int /*id*/) {}
    // Hover and press changes; the base repaints the widget.
    virtual void onHoverChanged() { invalidate(); }
    virtual void onPressChanged() { invalidate(); }
    // A press and a release both over this widget.
    virtual void onClick(const GP::Point& /*where*/) {}
    virtual void onEnabledChanged() { invalidate(); }
    // What a click on the widget or one of its children means changed: the
    // screen shows them as they were until their next paint is shown. The
    // base calls it for changes of place, visibility and enabled state.
    void changedForClicks() noexcept;

private:
    friend class Pane;

    // Joins or leaves a pane with the whole subtree.
    void attachToPane(Pane* pane) noexcept;
    // Repaints the area the widget covers now, through the pane.
    void invalidateArea() noexcept;

    qv::symbol m_id;
    GP::Rect m_bounds;
    std::vector<std::shared_ptr<Widget>> m_children;
    Widget* m_parent = nullptr;
    std::atomic<Pane*> m_pane{nullptr};
    std::atomic<bool> m_invalid{false};
    bool m_visible = true;
    bool m_enabled = true;
    bool m_hovered = false;
    bool m_pressed = false;
    // Since when the screen shows the widget as it is; none until then.
    std::optional<std::chrono::steady_clock::time_point> m_shownSince;
    // Painted as it is, in a picture not yet shown.
    bool m_paintedUnshown = false;
};

} // namespace QV::QTK
