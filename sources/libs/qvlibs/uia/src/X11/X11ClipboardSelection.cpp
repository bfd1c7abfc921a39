#include "X11ClipboardSelection.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>

namespace QV::UIA::DETAIL::X11 {

namespace {

using Clock = std::chrono::steady_clock;

// Long enough for a busy owner, short enough that a program that never
// answers does not hang the caller.
constexpr std::chrono::milliseconds kAnswerLimit{2000};
// A whole transfer in chunks: kMostSelectionBytes take well below a second
// from a program that answers at all.
constexpr std::chrono::milliseconds kTransferLimit{10000};

constexpr const char* kURIListType = "text/uri-list";

// Errors on our own connections are expected (a requestor's window may be
// gone before the answer reaches it) and must not end the process, as
// Xlib's default handler would; errors on any other connection go on to the
// handler that was installed before.
std::mutex s_displaysMutex;
std::set<Display*> s_ownDisplays;
XErrorHandler s_previousHandler = nullptr;

int ignoreOwnErrors(Display* display, XErrorEvent* error)
{
    {
        std::lock_guard lock(s_displaysMutex);
        if (s_ownDisplays.count(display) != 0)
            return 0;
    }
    return s_previousHandler ? s_previousHandler(display, error) : 0;
}

Display* openOwnDisplay()
{
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr)
        return nullptr;
    std::lock_guard lock(s_displaysMutex);
    s_ownDisplays.insert(display);
    static const bool installed = [] {
        s_previousHandler = XSetErrorHandler(ignoreOwnErrors);
        return true;
    }();
    (void)installed;
    return display;
}

void closeOwnDisplay(Display* display)
{
    XCloseDisplay(display);
    std::lock_guard lock(s_displaysMutex);
    s_ownDisplays.erase(display);
}

// Waits for an event of `type` on `window` until the deadline.
bool waitForEvent(Display* display, Window window, int type, XEvent& event, Clock::time_point deadline)
{
    for (;;) {
        if (XCheckTypedWindowEvent(display, window, type, &event))
            return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        pollfd ready{ConnectionNumber(display), POLLIN, 0};
        if (poll(&ready, 1, static_cast<int>(left)) < 0 && errno != EINTR)
            return false;
        // Reads whatever arrived into Xlib's queue without blocking.
        XEventsQueued(display, QueuedAfterReading);
    }
}

// A server timestamp for taking the selection: the time of a property change
// of our own window, as the conventions between X clients ask for.
Time serverTime(Display* display, Window window)
{
    const Atom stamp = XInternAtom(display, "QV_TIMESTAMP", False);
    unsigned char none = 0;
    XChangeProperty(display, window, stamp, XA_STRING, 8, PropModeAppend, &none, 0);
    XEvent event;
    if (waitForEvent(display, window, PropertyNotify, event, Clock::now() + kAnswerLimit))
        return event.xproperty.time;
    return CurrentTime;
}

Window makeWindow(Display* display)
{
    const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    XSelectInput(display, window, PropertyChangeMask);
    return window;
}

// The owner of our file list: a thread with its own connection that answers
// every request for the list until another program takes the clipboard.
class Owner
{
public:
    static Owner* instance()
    {
        // Never destroyed: the serving thread may still run while the
        // process exits.
        static Owner* owner = new Owner();
        return owner->m_display != nullptr ? owner : nullptr;
    }

    bool offer(std::string list)
    {
        std::unique_lock lock(m_mutex);
        m_pending = std::move(list);
        m_hasPending = true;
        m_answered = false;
        const char wake = 1;
        if (write(m_wake[1], &wake, 1) != 1)
            return false;
        if (!m_answered_cv.wait_for(lock, kAnswerLimit + kAnswerLimit, [&] { return m_answered; }))
            return false;
        return m_owned;
    }

private:
    Owner()
    {
        if (pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        m_display = openOwnDisplay();
        if (m_display == nullptr)
            return;
        m_window = makeWindow(m_display);
        m_clipboard = XInternAtom(m_display, "CLIPBOARD", False);
        m_targets = XInternAtom(m_display, "TARGETS", False);
        m_timestamp = XInternAtom(m_display, "TIMESTAMP", False);
        m_uriList = XInternAtom(m_display, kURIListType, False);
        XFlush(m_display);
        std::thread([this] { run(); }).detach();
    }

    void run()
    {
        for (;;) {
            while (XPending(m_display) > 0) {
                XEvent event;
                XNextEvent(m_display, &event);
                if (event.type == SelectionRequest)
                    answer(event.xselectionrequest);
                else if (event.type == SelectionClear && event.xselectionclear.selection == m_clipboard) {
                    std::lock_guard lock(m_mutex);
                    m_list.clear();
                    m_owned = false;
                }
            }
            takePending();
            XFlush(m_display);
            pollfd ready[2] = {{ConnectionNumber(m_display), POLLIN, 0}, {m_wake[0], POLLIN, 0}};
            if (poll(ready, 2, -1) < 0 && errno != EINTR)
                return;
            if (ready[1].revents & POLLIN) {
                char drained[16];
                while (read(m_wake[0], drained, sizeof drained) > 0) {
                }
            }
        }
    }

    void takePending()
    {
        std::unique_lock lock(m_mutex);
        if (!m_hasPending)
            return;
        m_hasPending = false;
        m_list = std::move(m_pending);
        lock.unlock();
        m_time = serverTime(m_display, m_window);
        XSetSelectionOwner(m_display, m_clipboard, m_window, m_time);
        const bool owned = XGetSelectionOwner(m_display, m_clipboard) == m_window;
        lock.lock();
        m_owned = owned;
        m_answered = true;
        m_answered_cv.notify_all();
    }

    void answer(const XSelectionRequestEvent& request)
    {
        XSelectionEvent reply{};
        reply.type = SelectionNotify;
        reply.display = request.display;
        reply.requestor = request.requestor;
        reply.selection = request.selection;
        reply.target = request.target;
        reply.time = request.time;
        // Old clients name no property: the target then serves as one.
        const Atom property = request.property != None ? request.property : request.target;
        reply.property = None;

        std::string list;
        bool owned;
        {
            std::lock_guard lock(m_mutex);
            list = m_list;
            owned = m_owned;
        }
        // The largest property one request can carry; a longer list would
        // need the incremental transfer, which is not offered.
        const long most = XMaxRequestSize(m_display) * 4 - 100;
        if (owned && request.selection == m_clipboard) {
            if (request.target == m_targets) {
                const Atom targets[] = {m_targets, m_timestamp, m_uriList};
                XChangeProperty(m_display, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                                reinterpret_cast<const unsigned char*>(targets), 3);
                reply.property = property;
            } else if (request.target == m_timestamp) {
                const long time = static_cast<long>(m_time);
                XChangeProperty(m_display, request.requestor, property, XA_INTEGER, 32, PropModeReplace,
                                reinterpret_cast<const unsigned char*>(&time), 1);
                reply.property = property;
            } else if (request.target == m_uriList && static_cast<long>(list.size()) <= most) {
                XChangeProperty(m_display, request.requestor, property, m_uriList, 8, PropModeReplace,
                                reinterpret_cast<const unsigned char*>(list.data()), static_cast<int>(list.size()));
                reply.property = property;
            }
        }
        XEvent event{};
        event.xselection = reply;
        XSendEvent(m_display, request.requestor, False, NoEventMask, &event);
    }

    Display* m_display = nullptr;
    Window m_window = 0;
    Atom m_clipboard = None, m_targets = None, m_timestamp = None, m_uriList = None;
    Time m_time = CurrentTime;
    int m_wake[2] = {-1, -1};

    std::mutex m_mutex;
    std::condition_variable m_answered_cv;
    std::string m_pending;
    bool m_hasPending = false;
    bool m_answered = false;
    std::string m_list;
    bool m_owned = false;
};

// One property taken off our window: its type and format, its size in
// bytes as the server counts them, and its bytes when it fitted.
struct Chunk {
    Atom type = None;
    int format = 0;
    std::size_t size = 0;
    std::optional<std::string> bytes;
};

// Reads the property and deletes it, which tells an owner that sends in
// chunks to send the next one. A property of more than `room` bytes is
// deleted unread. None when there is no such property or it changed while
// it was read.
std::optional<Chunk> takeProperty(Display* display, Window window, Atom property, std::size_t room)
{
    Chunk chunk;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    // Its size first, without its bytes.
    if (XGetWindowProperty(display, window, property, 0, 0, False, AnyPropertyType, &chunk.type, &chunk.format,
                           &count, &after, &data)
        != Success)
        return std::nullopt;
    if (data != nullptr)
        XFree(data);
    if (chunk.type == None)
        return std::nullopt;
    chunk.size = after;
    if (chunk.size > room) {
        XDeleteProperty(display, window, property);
        return chunk;
    }
    // Lengths are counted in 32-bit units; rounding up takes the last bytes.
    data = nullptr;
    if (XGetWindowProperty(display, window, property, 0, long((chunk.size + 3) / 4), True, AnyPropertyType,
                           &chunk.type, &chunk.format, &count, &after, &data)
            != Success
        || data == nullptr)
        return std::nullopt;
    // Xlib hands 32-bit items out as longs.
    const std::size_t unit = chunk.format == 32 ? sizeof(long) : chunk.format == 16 ? sizeof(short) : 1;
    chunk.bytes.emplace(reinterpret_cast<const char*>(data), count * unit);
    XFree(data);
    if (after != 0) {
        XDeleteProperty(display, window, property);
        return std::nullopt;
    }
    return chunk;
}

// Waits for a new value of the property on our window until the deadline;
// notices of its deletion are passed over.
bool waitForNewValue(Display* display, Window window, Atom property, Clock::time_point deadline)
{
    XEvent event;
    while (waitForEvent(display, window, PropertyNotify, event, deadline))
        if (event.xproperty.atom == property && event.xproperty.state == PropertyNewValue)
            return true;
    return false;
}

// One conversion of the clipboard to `target`: the bytes and their type, or
// none when the owner refused, did not answer in time, or sent more than
// kMostSelectionBytes.
struct Converted {
    Atom type = None;
    int format = 0;
    std::string bytes;
};

std::optional<Converted> convert(Display* display, Window window, Atom target)
{
    const Atom clipboard = XInternAtom(display, "CLIPBOARD", False);
    const Atom property = XInternAtom(display, "QV_SELECTION", False);
    const Atom incremental = XInternAtom(display, "INCR", False);
    XConvertSelection(display, clipboard, target, property, window, CurrentTime);
    XFlush(display);
    XEvent event;
    if (!waitForEvent(display, window, SelectionNotify, event, Clock::now() + kAnswerLimit)
        || event.xselection.property == None)
        return std::nullopt;
    // Notices of this and earlier conversions are all behind us: none of
    // them may be taken for a chunk of this one.
    while (XCheckTypedWindowEvent(display, window, PropertyNotify, &event)) {
    }

    const auto first = takeProperty(display, window, property, kMostSelectionBytes);
    if (!first || !first->bytes)
        return std::nullopt;
    if (first->type != incremental)
        return Converted{first->type, first->format, *first->bytes};

    // The owner sends the rest in chunks, each as a new value of the
    // property, and ends with an empty one. Once the whole will not fit, the
    // remaining chunks are still taken, unread, so that the owner finishes
    // rather than waiting for us for ever; the transfer as a whole is bounded
    // in time as well, against an owner that never ends it.
    const auto transferEnd = Clock::now() + kTransferLimit;
    Converted out;
    bool fits = true;
    for (;;) {
        if (!waitForNewValue(display, window, property, std::min(transferEnd, Clock::now() + kAnswerLimit)))
            return std::nullopt;
        const auto chunk = takeProperty(display, window, property, fits ? kMostSelectionBytes - out.bytes.size() : 0);
        XFlush(display);
        if (!chunk)
            return std::nullopt;
        if (chunk->size == 0)
            break;
        fits = fits && chunk->bytes.has_value();
        if (fits) {
            out.type = chunk->type;
            out.format = chunk->format;
            out.bytes += *chunk->bytes;
        }
    }
    if (!fits)
        return std::nullopt;
    return out;
}

// The targets the owner names; empty when it names none in time.
std::vector<Atom> ownerTargets(Display* display, Window window)
{
    std::vector<Atom> atoms;
    const auto targets = convert(display, window, XInternAtom(display, "TARGETS", False));
    if (!targets || targets->type != XA_ATOM || targets->format != 32)
        return atoms;
    for (std::size_t at = 0; at + sizeof(long) <= targets->bytes.size(); at += sizeof(long)) {
        long atom;
        std::memcpy(&atom, targets->bytes.data() + at, sizeof atom);
        atoms.push_back(static_cast<Atom>(atom));
    }
    return atoms;
}

} // namespace

bool offerFileList(const std::vector<std::string>& urls)
{
    Owner* owner = Owner::instance();
    return owner != nullptr && owner->offer(makeURIList(urls));
}

ClipboardContent readClipboard()
{
    ClipboardContent content;
    Display* display = openOwnDisplay();
    if (display == nullptr)
        return content;
    const Window window = makeWindow(display);

    // A form is asked for only when the owner names it among its targets:
    // some owners (GNUstep's pasteboard server among them) do not survive a
    // request for a target they do not know.
    const std::vector<Atom> targets = ownerTargets(display, window);
    auto offered = [&](Atom atom) { return std::find(targets.begin(), targets.end(), atom) != targets.end(); };
    if (const Atom uriList = XInternAtom(display, kURIListType, False); offered(uriList))
        if (const auto list = convert(display, window, uriList); list && list->format == 8)
            content.urls = parseURIList(list->bytes);
    if (const Atom utf8 = XInternAtom(display, "UTF8_STRING", False); offered(utf8)) {
        content.offersText = true;
        if (const auto text = convert(display, window, utf8); text && text->format == 8)
            content.text = text->bytes;
    }
    XDestroyWindow(display, window);
    closeOwnDisplay(display);
    return content;
}

std::vector<std::string> parseURIList(const std::string& text)
{
    std::vector<std::string> urls;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        // A NUL ends what a sender meant to send.
        line = line.substr(0, line.find('\0'));
        if (!line.empty() && line.front() != '#')
            urls.push_back(std::move(line));
    }
    return urls;
}

std::string makeURIList(const std::vector<std::string>& urls)
{
    std::string list;
    for (const std::string& url : urls)
        list += url + "\r\n";
    return list;
}

} // namespace QV::UIA::DETAIL::X11
