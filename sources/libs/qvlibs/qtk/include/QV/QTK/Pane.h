#pragma once

#include <QV/GP/Point.h>
#include <QV/GP/Rect.h>
#include <QV/GP/Region.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace QV::UIA {
class Picture;
}

namespace QV::QTK {

class Widget;

// The host of one widget tree inside a window, with one overlay widget
// above it. It paints what is invalid in z-order (the root's tree, then the
// overlay's), routes the mouse to widgets (hover, press, click), and runs
// the widgets' one-shot timers, one tick at a time. A visible overlay takes
// the mouse where it lies: the widgets under it neither hover nor click,
// those beside it do.
//
// Thread affinity: main thread, but for the atomic flag that
// Widget::invalidate sets.
class Pane
{
public:
    Pane();
    // The widgets leave the pane; those still held elsewhere live on.
    ~Pane();
    Pane(const Pane&) = delete;
    Pane& operator=(const Pane&) = delete;

    // The root fills the pane. A widget that has a parent or another pane
    // is refused.
    bool setRoot(std::shared_ptr<Widget> root);
    Widget* getRoot() const noexcept { return m_root.get(); }
    // The overlay keeps the bounds its owner gives it; null removes it.
    bool setOverlay(std::shared_ptr<Widget> overlay);
    Widget* getOverlay() const noexcept { return m_overlay.get(); }

    // The size of the area the pane paints; the root follows it.
    void setSize(int width, int height);
    int getWidth() const noexcept { return m_width; }
    int getHeight() const noexcept { return m_height; }

    // Colour under every widget; opaque colours are stored as they are.
    void setBackground(std::uint32_t colour);

    // Marks an area (pane coordinates) for repainting; main thread.
    void invalidateRect(const GP::Rect& rect);
    void invalidateAll();
    // Something is waiting to be repainted.
    bool needsUpdate() const noexcept;

    // Repaints everything that is invalid into the picture, which covers the
    // pane from its top-left corner, and adds what was repainted to
    // `painted`. False when nothing was.
    bool paintInvalid(UIA::Picture& picture, GP::Region& painted);
    // Repaints the area of the region in the picture.
    void paintRegion(UIA::Picture& picture, const GP::Region& region);
    // What was painted so far is on the screen from `when` on.
    void noteShown(std::chrono::steady_clock::time_point when);

    // Mouse input in pane coordinates. Answers whether a widget took it.
    // A press made (`madeAt`) before the screen showed the widget under it
    // as it is now is not taken: the user pressed on what was there before,
    // a button greyed, hidden or saying something else, or an empty spot.
    bool mouseMove(const GP::Point& where);
    bool mouseDown(const GP::Point& where,
                   std::optional<std::chrono::steady_clock::time_point> madeAt = std::nullopt);
    bool mouseUp(const GP::Point& where);
    void mouseLeave();

    // The widget that takes the mouse at the point, or null.
    Widget* findMouseTarget(const GP::Point& where) const;
    Widget* getHovered() const noexcept { return m_hovered; }
    Widget* getPressed() const noexcept { return m_pressed; }

    // One tick: counts the widget timers down and runs those that are due.
    void tick();
    bool hasTimers() const noexcept;
    // Neither a timer nor a repaint is waiting for a tick.
    bool isIdle() const noexcept { return !hasTimers() && !needsUpdate(); }

    // Called when the pane gets work for its ticks after being clean: a
    // repaint request (on whatever thread made it; once until the next
    // paint) or a widget timer (main thread). The host keeps its ticks
    // running only while the pane has such work. Set on the main thread
    // before any widget joins the pane.
    void setWakeHandler(std::function<void()> wake) { m_wake = std::move(wake); }

private:
    friend class Widget;

    struct Timer {
        Widget* widget = nullptr; // null once cancelled
        int id = 0;
        int remaining = 0;
    };

    void startTimer(Widget& widget, int ticks, int id);
    void stopTimer(Widget& widget, int id);
    // The widget is leaving the pane: cancels its timers and forgets it.
    void forgetWidget(Widget& widget) noexcept;
    // The widget or one of its descendants stops being hovered or pressed.
    void forgetMouse(Widget& widget) noexcept;
    void markDirty() noexcept
    {
        if (!m_dirty.exchange(true, std::memory_order_acq_rel) && m_wake)
            m_wake();
    }
    // The overlay came, went, or was shown or hidden: every widget is
    // shown differently.
    void overlayChanged() noexcept;
    // The widget's area invalid for the next paint (main thread).
    void addInvalid(const GP::Rect& rect) noexcept;
    void addToRegion(const GP::Rect& rect) noexcept;

    void collectInvalid(Widget& widget, const GP::Rect& clip);
    void paintTree(UIA::Picture& picture, Widget& widget, const GP::Rect& parentClip, const GP::Rect& area);
    Widget* findIn(Widget& widget, const GP::Point& where, const GP::Rect& clip) const;
    static void noteShownIn(Widget& widget, std::chrono::steady_clock::time_point when) noexcept;
    void setHovered(Widget* widget);
    void setPressedState(Widget* widget, bool pressed);

    std::shared_ptr<Widget> m_root;
    std::shared_ptr<Widget> m_overlay;
    int m_width = 0;
    int m_height = 0;
    std::uint32_t m_background = 0xFF000000u;
    std::atomic<bool> m_dirty{false};
    GP::Region m_invalid;
    // Set when an area could not be added to m_invalid: all is repainted.
    bool m_invalidAll = false;
    std::vector<Timer> m_timers;
    std::function<void()> m_wake;
    int m_tickDepth = 0;
    Widget* m_hovered = nullptr;
    Widget* m_pressed = nullptr;
    // A widget was painted as it is in a picture not yet shown.
    bool m_paintedUnshown = false;
};

} // namespace QV::QTK
