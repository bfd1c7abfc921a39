// Watches an X display from outside the programs on it, as the user's eyes
// would: the first moment anything is drawn into a top-level window that a
// program made, and the first moment one such window has been drawn whole
// since it was mapped. A window is visible on the X server only once the
// server has drawn into it; a program's own account of when it flushed its
// drawing says nothing about whether the window was mapped then, or whether
// the flush put anything on the screen.
//
// One damage record of the X DAMAGE extension on the root window sees every
// drawing on the screen, made before any program starts, so that no drawing
// can come before the watch is ready for it. The watch follows where the
// top-level windows created after begin() lie and whether they are mapped, and
// gathers the damage that falls on each while it is mapped (mapping starts it
// afresh: X keeps nothing of an unmapped window's content). Times are
// CLOCK_MONOTONIC nanoseconds taken when the event is read, comparable with
// the moment a program was started.
//
// Thread: the one that created it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Display = struct _XDisplay;

class DamageWatch
{
public:
    // Connects to `display` (":N"); problem() tells why when it could not.
    explicit DamageWatch(const std::string& display);
    ~DamageWatch();
    DamageWatch(const DamageWatch&) = delete;
    DamageWatch& operator=(const DamageWatch&) = delete;

    const std::string& problem() const { return m_problem; }

    // Forgets what was seen; only windows created from now on count.
    void begin();
    // Reads what the server reported, waiting up to `waitMs` for it.
    void pump(int waitMs);
    // The first damage on a new window, or 0 while none was seen.
    std::int64_t firstDamageAt() const { return m_firstDamageAt; }
    // The moment the damage on one new window first covered all of it: the
    // first whole picture the user sees; 0 while none was seen.
    std::int64_t wholeAt() const { return m_wholeAt; }
    // What was seen since begin(), one event a line, with times relative to
    // `origin`: for finding out what happens between a flush and the screen.
    std::string trace(std::int64_t origin) const;

private:
    struct Seen
    {
        std::int64_t at;
        unsigned long window;
        std::string what;
    };
    struct Window
    {
        unsigned long id;
        int x, y, width, height;
        bool mapped;
        // The part drawn since the window was mapped, an Xlib Region.
        void* drawn;
    };

    void handle(std::int64_t at);
    Window* find(unsigned long id);
    void damaged(std::int64_t at, int x, int y, int width, int height);
    void forgetWindows();

    Display* m_display = nullptr;
    int m_damageEvent = 0;
    unsigned long m_damage = 0;
    std::string m_problem;
    std::vector<Window> m_windows;
    std::vector<Seen> m_seen;
    std::int64_t m_firstDamageAt = 0;
    std::int64_t m_wholeAt = 0;
};
