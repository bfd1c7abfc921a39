#include "X11ClipboardSelection.h"
#include "X11ServerTime.h"

#include <X11/Xatom.h>
#include <X11/Xlib-xcb.h>
#include <X11/Xlib.h>
#include <xcb/xcb.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

namespace QV::UIA::DETAIL::X11 {

namespace {

using Clock = std::chrono::steady_clock;

// How long the owner of our file list waits for the server's answers.
constexpr std::chrono::milliseconds kAnswerLimit = ReadLimits{}.answer;

constexpr const char* kURIListType = "text/uri-list";

// Errors on our own connections are expected (a requestor's window may be
// gone before the answer reaches it) and must not end the process, as
// Xlib's default handler would; errors on any other connection go on to the
// handler that was installed before. A display closed on one thread may
// leave its address to one opened on another before it leaves the set,
// which therefore counts each address as often as it was opened.
struct OwnDisplays {
    std::mutex mutex;
    std::multiset<Display*> displays;
};

// Never destroyed: a read's connection may still be closing on a thread of
// its own while the process exits.
OwnDisplays& ownDisplays()
{
    static OwnDisplays* own = new OwnDisplays();
    return *own;
}

XErrorHandler s_previousHandler = nullptr;

int ignoreOwnErrors(Display* display, XErrorEvent* error)
{
    {
        std::lock_guard lock(ownDisplays().mutex);
        if (ownDisplays().displays.count(display) != 0)
            return 0;
    }
    return s_previousHandler ? s_previousHandler(display, error) : 0;
}

Display* openOwnDisplay()
{
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr)
        return nullptr;
    std::lock_guard lock(ownDisplays().mutex);
    ownDisplays().displays.insert(display);
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
    std::lock_guard lock(ownDisplays().mutex);
    ownDisplays().displays.erase(ownDisplays().displays.find(display));
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
        m_time = serverTime(m_display, m_window, kAnswerLimit);
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

// The form a conversion is taken in: the type and format of the property.
struct Form {
    Atom type = None;
    int format = 0;
};

// An event as XCB hands it out.
using Event = std::unique_ptr<xcb_generic_event_t, decltype(&std::free)>;

// The next event of `type` before the deadline, which is looked at before
// every event; every other event is dropped. XCB holds the connection's
// events, and reads it only when none is left, a few kilobytes at a time: a
// peer that floods the window can neither make the queue hold what it
// pleases nor keep the caller past the deadline, as it could with Xlib, which
// reads until nothing more has arrived.
Event nextEvent(xcb_connection_t* connection, std::uint8_t type, Clock::time_point deadline)
{
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0 || xcb_connection_has_error(connection))
            return Event(nullptr, std::free);
        if (Event event{xcb_poll_for_event(connection), std::free}) {
            if ((event->response_type & 0x7f) == type)
                return event;
            continue;
        }
        pollfd ready{xcb_get_file_descriptor(connection), POLLIN, 0};
        if (poll(&ready, 1, static_cast<int>(left)) < 0 && errno != EINTR)
            return Event(nullptr, std::free);
    }
}

// Destroys the read's window and closes its connection on a thread of its
// own, once the events already on their way to the window are taken one at
// a time, up to the notice that it is gone: after a peer flooded the window
// that may take a while, and closing at once would read them all into
// memory. The caller has its answer meanwhile.
void closeReadConnection(Display* display, Window window, std::chrono::milliseconds limit)
{
    XDestroyWindow(display, window);
    XFlush(display);
    std::thread([display, window, deadline = Clock::now() + limit] {
        xcb_connection_t* connection = XGetXCBConnection(display);
        while (Event event = nextEvent(connection, XCB_DESTROY_NOTIFY, deadline))
            if (reinterpret_cast<const xcb_destroy_notify_event_t*>(event.get())->window == window)
                break;
        // A connection that the server dropped is left as it is: Xlib would
        // end the process on closing it.
        if (!xcb_connection_has_error(connection))
            closeOwnDisplay(display);
    }).detach();
}

// One property taken off our window: its type, its size in bytes as Xlib
// hands them out, and whether its bytes were taken.
struct Chunk {
    Atom type = None;
    std::size_t size = 0;
    bool taken = false;
};

// The conversions of one read of the clipboard, on a window of the read's
// own, within one deadline for the whole read.
class SelectionReader
{
public:
    SelectionReader(Display* display, Window window, const ReadLimits& limits)
        : m_display(display),
          m_connection(XGetXCBConnection(display)),
          m_window(window),
          m_clipboard(XInternAtom(display, "CLIPBOARD", False)),
          m_property(XInternAtom(display, "QV_SELECTION", False)),
          m_incremental(XInternAtom(display, "INCR", False)),
          m_answerLimit(limits.answer),
          m_end(Clock::now() + limits.whole)
    {
    }

    // The clipboard converted to `target`, in `form` only: none when the
    // owner refused, did not answer in time, answered in another form, or
    // sent more than kMostSelectionBytes.
    std::optional<std::string> convert(Atom target, Form form)
    {
        m_refused = false;
        XConvertSelection(m_display, m_clipboard, target, m_property, m_window, CurrentTime);
        XFlush(m_display);
        if (!waitForAnswer(target))
            return std::nullopt;
        // Notices of this and earlier conversions are all behind us: none of
        // them may be taken for a chunk of this one. Only those that have
        // arrived are dropped: a peer that keeps events coming must not keep
        // the read here.
        while (Event(xcb_poll_for_queued_event(m_connection), std::free)) {
        }

        std::string out;
        const auto first = take(form, true, out, kMostSelectionBytes);
        if (!first || !first->taken)
            return std::nullopt;
        if (first->type != m_incremental)
            return out;

        // The owner sends the rest in chunks, each as a new value of the
        // property, and ends with an empty one. Once the whole will not fit,
        // or a chunk comes in another form, the remaining chunks are still
        // taken, unread, so that the owner finishes rather than waiting for
        // us for ever; the deadline bounds an owner that never ends.
        out.clear();
        bool whole = true;
        for (;;) {
            if (!waitForNewValue())
                return std::nullopt;
            const std::size_t room = whole && out.size() < kMostSelectionBytes ? kMostSelectionBytes - out.size() : 0;
            const auto chunk = take(form, false, out, room);
            XFlush(m_display);
            if (!chunk)
                return std::nullopt;
            if (chunk->size == 0)
                break;
            if (!chunk->taken && whole) {
                whole = false;
                std::string().swap(out);
            }
        }
        if (!whole)
            return std::nullopt;
        return out;
    }

    std::size_t mostBytesHeld() const { return m_mostHeld; }
    // Whether a property of the last conversion did not fit.
    bool refused() const { return m_refused; }

private:
    // Waits for the owner's answer to the conversion to `target` asked last.
    // The notice of any other (such as an earlier request's late answer) is
    // dropped. False when the owner refused or did not answer in time.
    bool waitForAnswer(Atom target)
    {
        const auto deadline = std::min(m_end, Clock::now() + m_answerLimit);
        while (Event event = nextEvent(m_connection, XCB_SELECTION_NOTIFY, deadline)) {
            const auto& notice = *reinterpret_cast<const xcb_selection_notify_event_t*>(event.get());
            if (notice.requestor == m_window && notice.selection == m_clipboard && notice.target == target)
                return notice.property == m_property;
        }
        return false;
    }

    // Waits for a new value of the property; notices of its deletion and of
    // other properties are passed over.
    bool waitForNewValue()
    {
        const auto deadline = std::min(m_end, Clock::now() + m_answerLimit);
        while (Event event = nextEvent(m_connection, XCB_PROPERTY_NOTIFY, deadline)) {
            const auto& notice = *reinterpret_cast<const xcb_property_notify_event_t*>(event.get());
            if (notice.window == m_window && notice.atom == m_property && notice.state == XCB_PROPERTY_NEW_VALUE)
                return true;
        }
        return false;
    }

    // Reads the property, appends its bytes to `out` and deletes it, which
    // tells an owner that sends in chunks to send the next one. Its bytes are
    // read only when it is in `form` (or, when `incremental`, the start of a
    // transfer in chunks) and they fit in `room` as Xlib hands them out
    // (items of format 32 as longs); otherwise it is deleted unread. None
    // when there is no such property or it changed while it was read.
    std::optional<Chunk> take(Form form, bool incremental, std::string& out, std::size_t room)
    {
        Chunk chunk;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        // Its size first, without its bytes.
        if (XGetWindowProperty(m_display, m_window, m_property, 0, 0, False, AnyPropertyType, &chunk.type, &format,
                               &count, &after, &data)
            != Success)
            return std::nullopt;
        if (data != nullptr)
            XFree(data);
        if (chunk.type == None)
            return std::nullopt;
        const std::size_t unit = format == 32 ? sizeof(long) : format == 16 ? sizeof(short) : 1;
        chunk.size = after / (format == 32 ? 4 : format == 16 ? 2 : 1) * unit;
        const bool wanted = (chunk.type == form.type && format == form.format)
                            || (incremental && chunk.type == m_incremental && format == 32);
        if (!wanted || chunk.size > room) {
            m_refused = m_refused || wanted;
            XDeleteProperty(m_display, m_window, m_property);
            return chunk;
        }
        // Lengths are counted in 32-bit units; rounding up takes the last bytes.
        const Atom type = chunk.type;
        const int firstFormat = format;
        data = nullptr;
        if (XGetWindowProperty(m_display, m_window, m_property, 0, long((after + 3) / 4), True, AnyPropertyType,
                               &chunk.type, &format, &count, &after, &data)
                != Success
            || data == nullptr)
            return std::nullopt;
        const bool same = chunk.type == type && format == firstFormat && count * unit <= chunk.size && after == 0;
        if (same) {
            m_mostHeld = std::max(m_mostHeld, out.size() + count * unit);
            out.append(reinterpret_cast<const char*>(data), count * unit);
        }
        XFree(data);
        if (!same) {
            XDeleteProperty(m_display, m_window, m_property);
            return std::nullopt;
        }
        chunk.taken = true;
        return chunk;
    }

    Display* m_display;
    xcb_connection_t* m_connection;
    Window m_window;
    Atom m_clipboard, m_property, m_incremental;
    std::chrono::milliseconds m_answerLimit;
    Clock::time_point m_end;
    std::size_t m_mostHeld = 0;
    bool m_refused = false;
};

// The targets the owner names; empty when it names none in time.
std::vector<Atom> ownerTargets(Display* display, SelectionReader& reader)
{
    std::vector<Atom> atoms;
    const auto targets = reader.convert(XInternAtom(display, "TARGETS", False), {XA_ATOM, 32});
    if (!targets)
        return atoms;
    for (std::size_t at = 0; at + sizeof(long) <= targets->size(); at += sizeof(long)) {
        long atom;
        std::memcpy(&atom, targets->data() + at, sizeof atom);
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

ClipboardContent readClipboard(const ReadLimits& limits)
{
    ClipboardContent content;
    Display* display = openOwnDisplay();
    if (display == nullptr)
        return content;
    // The read takes its events from XCB one at a time (see nextEvent).
    XSetEventQueueOwner(display, XCBOwnsEventQueue);
    const Window window = makeWindow(display);
    XSelectInput(display, window, PropertyChangeMask | StructureNotifyMask);
    SelectionReader reader(display, window, limits);

    // A form is asked for only when the owner names it among its targets:
    // some owners (GNUstep's pasteboard server among them) do not survive a
    // request for a target they do not know.
    const std::vector<Atom> targets = ownerTargets(display, reader);
    content.refused = reader.refused();
    auto offered = [&](Atom atom) { return std::find(targets.begin(), targets.end(), atom) != targets.end(); };
    if (const Atom uriList = XInternAtom(display, kURIListType, False); offered(uriList))
        if (const auto list = reader.convert(uriList, {uriList, 8}))
            content.urls = parseURIList(*list);
    if (const Atom utf8 = XInternAtom(display, "UTF8_STRING", False); offered(utf8)) {
        content.offersText = true;
        content.text = reader.convert(utf8, {utf8, 8});
    }
    content.mostBytesHeld = reader.mostBytesHeld();
    closeReadConnection(display, window, limits.whole);
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
