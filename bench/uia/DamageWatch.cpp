#include "DamageWatch.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>

#include <poll.h>
#include <time.h>

#include <algorithm>
#include <cstdio>

namespace {

Region asRegion(void* region)
{
    return static_cast<Region>(region);
}

std::int64_t now()
{
    timespec time{};
    clock_gettime(CLOCK_MONOTONIC, &time);
    return static_cast<std::int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

} // namespace

DamageWatch::DamageWatch(const std::string& display)
{
    m_display = XOpenDisplay(display.c_str());
    if (!m_display) {
        m_problem = "cannot open display " + display;
        return;
    }
    int errorBase = 0;
    int major = 1;
    int minor = 1;
    if (!XDamageQueryExtension(m_display, &m_damageEvent, &errorBase)
        || !XDamageQueryVersion(m_display, &major, &minor)) {
        m_problem = "the X server at " + display + " has no DAMAGE extension";
        return;
    }
    const auto root = DefaultRootWindow(m_display);
    XSelectInput(m_display, root, SubstructureNotifyMask);
    m_damage = XDamageCreate(m_display, root, XDamageReportRawRectangles);
    XSync(m_display, False);
}

DamageWatch::~DamageWatch()
{
    forgetWindows();
    if (!m_display)
        return;
    if (m_damage)
        XDamageDestroy(m_display, m_damage);
    XCloseDisplay(m_display);
}

void DamageWatch::begin()
{
    if (!m_problem.empty())
        return;
    // What the last program left (its windows going, the screen repainted
    // under them) is read and dropped.
    XSync(m_display, False);
    while (XPending(m_display)) {
        XEvent event;
        XNextEvent(m_display, &event);
    }
    forgetWindows();
    m_seen.clear();
    m_firstDamageAt = 0;
    m_wholeAt = 0;
}

void DamageWatch::forgetWindows()
{
    for (const Window& window : m_windows)
        XDestroyRegion(asRegion(window.drawn));
    m_windows.clear();
}

void DamageWatch::pump(int waitMs)
{
    if (!m_problem.empty())
        return;
    if (!XPending(m_display)) {
        pollfd connection{ConnectionNumber(m_display), POLLIN, 0};
        if (poll(&connection, 1, waitMs) <= 0)
            return;
    }
    const std::int64_t at = now();
    while (XPending(m_display))
        handle(at);
}

DamageWatch::Window* DamageWatch::find(unsigned long id)
{
    const auto found = std::find_if(m_windows.begin(), m_windows.end(), [&](const Window& w) { return w.id == id; });
    return found == m_windows.end() ? nullptr : &*found;
}

void DamageWatch::damaged(std::int64_t at, int x, int y, int width, int height)
{
    for (const Window& window : m_windows) {
        if (!window.mapped || x >= window.x + window.width || window.x >= x + width || y >= window.y + window.height
            || window.y >= y + height)
            continue;
        if (m_firstDamageAt == 0)
            m_firstDamageAt = at;
        XRectangle part{static_cast<short>(x - window.x), static_cast<short>(y - window.y),
                        static_cast<unsigned short>(width), static_cast<unsigned short>(height)};
        XUnionRectWithRegion(&part, asRegion(window.drawn), asRegion(window.drawn));
        const bool whole = XRectInRegion(asRegion(window.drawn), 0, 0, static_cast<unsigned>(window.width),
                                         static_cast<unsigned>(window.height)) == RectangleIn;
        if (whole && m_wholeAt == 0)
            m_wholeAt = at;
        char text[80];
        std::snprintf(text, sizeof text, "damaged %dx%d at %d,%d%s", width, height, part.x, part.y,
                      whole ? ", drawn whole" : "");
        m_seen.push_back({at, window.id, text});
    }
}

void DamageWatch::handle(std::int64_t at)
{
    XEvent event;
    XNextEvent(m_display, &event);
    char text[80];
    if (event.type == CreateNotify) {
        const XCreateWindowEvent& created = event.xcreatewindow;
        m_windows.push_back({created.window, created.x, created.y, created.width + 2 * created.border_width,
                             created.height + 2 * created.border_width, false, XCreateRegion()});
        std::snprintf(text, sizeof text, "created %dx%d at %d,%d%s", created.width, created.height, created.x,
                      created.y, created.override_redirect ? ", override-redirect" : "");
        m_seen.push_back({at, created.window, text});
    } else if (event.type == MapNotify || event.type == UnmapNotify) {
        const unsigned long id = event.type == MapNotify ? event.xmap.window : event.xunmap.window;
        if (Window* window = find(id)) {
            window->mapped = event.type == MapNotify;
            XDestroyRegion(asRegion(window->drawn));
            window->drawn = XCreateRegion();
            m_seen.push_back({at, id, window->mapped ? "mapped" : "unmapped"});
        }
    } else if (event.type == ConfigureNotify) {
        const XConfigureEvent& configured = event.xconfigure;
        if (Window* window = find(configured.window)) {
            window->x = configured.x;
            window->y = configured.y;
            window->width = configured.width + 2 * configured.border_width;
            window->height = configured.height + 2 * configured.border_width;
            std::snprintf(text, sizeof text, "configured %dx%d at %d,%d", configured.width, configured.height,
                          configured.x, configured.y);
            m_seen.push_back({at, configured.window, text});
        }
    } else if (event.type == m_damageEvent + XDamageNotify) {
        const auto& damage = reinterpret_cast<const XDamageNotifyEvent&>(event);
        damaged(at, damage.area.x, damage.area.y, damage.area.width, damage.area.height);
    }
}

std::string DamageWatch::trace(std::int64_t origin) const
{
    std::string out;
    char line[160];
    for (const Seen& seen : m_seen) {
        std::snprintf(line, sizeof line, "  %8.2f ms  window 0x%lx %s\n", static_cast<double>(seen.at - origin) / 1e6,
                      seen.window, seen.what.c_str());
        out += line;
    }
    return out;
}
