// An owner of the display's clipboard inside the test's process, answering
// requests for its text as a well-behaved or a hostile program would, so that
// the reader's limits can be tried against each.
//
// Thread: made and read on the test's thread; it answers on a thread of its
// own with a display connection of its own.
#pragma once

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace QV::UIA::Testing {

class ScriptedClipboardOwner
{
public:
    enum class Answer {
        // The text as one property.
        Whole,
        // `size` bytes, as the server counts them, of format 32 in one
        // property: twice as many as Xlib hands them out.
        Longs,
        // In chunks (INCR): 1 MiB of format 8, then chunks of 1 MiB of format
        // 32 until `size`.
        LongChunks,
        // The text typed INTEGER.
        Integer,
        // The text in items of format 16.
        Shorts,
        // TARGETS as `size` bytes of atoms.
        ManyTargets,
        // One byte a chunk, each 100 ms after the last was taken, for ever.
        Trickle,
        // The earlier request for a file list answered only after the text
        // was asked for, before the text's own answer.
        Late,
        // The text one byte a chunk, each chunk after a burst of events at
        // the reader's window that it never asked for.
        FloodedChunks,
        // After the start of a transfer in chunks, only such bursts, for
        // ever.
        Flood,
    };

    ScriptedClipboardOwner(const std::string& display, Answer answer, std::string text, std::size_t size = 0)
        : m_answer(answer), m_text(std::move(text)), m_size(size)
    {
        m_display = XOpenDisplay(display.c_str());
        if (m_display == nullptr)
            return;
        // The reader's window may be gone before an answer reaches it.
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        m_window = XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), 0, 0, 1, 1, 0, 0, 0);
        m_clipboard = XInternAtom(m_display, "CLIPBOARD", False);
        m_utf8 = XInternAtom(m_display, "UTF8_STRING", False);
        m_uriList = XInternAtom(m_display, "text/uri-list", False);
        m_targets = XInternAtom(m_display, "TARGETS", False);
        m_incremental = XInternAtom(m_display, "INCR", False);
        m_noise = XInternAtom(m_display, "QV_NOISE", False);
        XSetSelectionOwner(m_display, m_clipboard, m_window, CurrentTime);
        m_owned = XGetSelectionOwner(m_display, m_clipboard) == m_window;
        m_thread = std::thread([this] { serve(); });
    }

    ~ScriptedClipboardOwner()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_display != nullptr)
            XCloseDisplay(m_display);
    }

    ScriptedClipboardOwner(const ScriptedClipboardOwner&) = delete;
    ScriptedClipboardOwner& operator=(const ScriptedClipboardOwner&) = delete;

    bool owned() const { return m_owned; }
    // Whether it sent its whole answer, to the end of a transfer in chunks.
    bool finished() const { return m_finished; }
    // Whether the reader gave up while it still sent (Trickle, Flood), which
    // it does until the reader's window is gone or for 10 s at most.
    bool outlasted() const { return m_outlasted; }

private:
    // What is left to send in chunks.
    struct Transfer {
        Window requestor = None;
        Atom property = None;
        std::size_t sent = 0;
    };

    void serve()
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!m_stop && std::chrono::steady_clock::now() < end) {
            while (XPending(m_display) > 0) {
                XEvent event;
                XNextEvent(m_display, &event);
                if (event.type == SelectionRequest)
                    answer(event.xselectionrequest);
                else if (event.type == DestroyNotify && event.xdestroywindow.window == m_transfer.requestor)
                    m_outlasted = m_answer == Answer::Trickle || m_answer == Answer::Flood;
                else if (event.type == PropertyNotify && event.xproperty.state == PropertyDelete
                         && event.xproperty.window == m_transfer.requestor
                         && event.xproperty.atom == m_transfer.property)
                    sendChunk();
            }
            if (m_nextDrop && std::chrono::steady_clock::now() >= *m_nextDrop) {
                m_nextDrop.reset();
                put(m_transfer.requestor, m_transfer.property, m_utf8, 8, "x", 1);
            }
            const bool flooding = m_flooding && !m_outlasted;
            if (flooding)
                flood(m_transfer.requestor);
            XFlush(m_display);
            pollfd ready{ConnectionNumber(m_display), POLLIN, 0};
            poll(&ready, 1, flooding ? 0 : 20);
        }
    }

    void put(Window requestor, Atom property, Atom type, int format, const void* data, std::size_t items,
             int mode = PropModeReplace)
    {
        XChangeProperty(m_display, requestor, property, type, format, mode, static_cast<const unsigned char*>(data),
                        static_cast<int>(items));
    }

    // Format 32 items of `bytes` bytes as the server counts them, appended
    // 1 MiB at a time.
    void putLongs(Window requestor, Atom property, Atom type, long item, std::size_t bytes)
    {
        const std::vector<long> longs(std::size_t(1) << 18, item);
        int mode = PropModeReplace;
        for (std::size_t at = 0; at < bytes; at += 4 * longs.size(), mode = PropModeAppend)
            put(requestor, property, type, 32, longs.data(), std::min(longs.size(), (bytes - at) / 4), mode);
    }

    // Messages, and a change of a property that is not the transfer's.
    void flood(Window to)
    {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = to;
        event.xclient.message_type = m_noise;
        event.xclient.format = 32;
        for (int sent = 0; sent < 5000; ++sent)
            XSendEvent(m_display, to, False, NoEventMask, &event);
        put(to, m_noise, XA_STRING, 8, "x", 1);
    }

    void notify(const XSelectionRequestEvent& request, Atom property)
    {
        XEvent event{};
        event.xselection.type = SelectionNotify;
        event.xselection.requestor = request.requestor;
        event.xselection.selection = request.selection;
        event.xselection.target = request.target;
        event.xselection.property = property;
        event.xselection.time = request.time;
        XSendEvent(m_display, request.requestor, False, NoEventMask, &event);
        XFlush(m_display);
    }

    void answer(const XSelectionRequestEvent& request)
    {
        const Window to = request.requestor;
        const Atom property = request.property;
        if (request.target == m_targets) {
            if (m_answer == Answer::ManyTargets) {
                putLongs(to, property, XA_ATOM, long(m_utf8), m_size);
            } else {
                const Atom targets[] = {m_targets, m_uriList, m_utf8};
                put(to, property, XA_ATOM, 32, targets, 3);
            }
            return notify(request, property);
        }
        if (request.target == m_uriList) {
            // Only the late owner offers a list, and answers it later.
            if (m_answer == Answer::Late)
                m_lateRequest = request;
            else
                notify(request, None);
            return;
        }
        if (request.target != m_utf8)
            return notify(request, None);
        switch (m_answer) {
        case Answer::Whole:
        case Answer::ManyTargets:
            put(to, property, m_utf8, 8, m_text.data(), m_text.size());
            m_finished = true;
            break;
        case Answer::Integer:
            put(to, property, XA_INTEGER, 8, m_text.data(), m_text.size());
            m_finished = true;
            break;
        case Answer::Shorts:
            put(to, property, m_utf8, 16, m_text.data(), m_text.size() / 2);
            m_finished = true;
            break;
        case Answer::Longs:
            putLongs(to, property, m_utf8, 0x41414141, m_size);
            m_finished = true;
            break;
        case Answer::Late: {
            const std::string list = "file:///late\r\n";
            put(to, m_lateRequest.property, m_uriList, 8, list.data(), list.size());
            notify(m_lateRequest, m_lateRequest.property);
            // The text's own answer follows once a reader that took the late
            // one would have read it.
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            put(to, property, m_utf8, 8, m_text.data(), m_text.size());
            m_finished = true;
            break;
        }
        case Answer::LongChunks:
        case Answer::Trickle:
        case Answer::FloodedChunks:
        case Answer::Flood: {
            // Deletions of the property ask for the next chunk.
            XSelectInput(m_display, to, PropertyChangeMask | StructureNotifyMask);
            const long least = long(std::max(m_size, m_text.size()));
            put(to, property, m_incremental, 32, &least, 1);
            m_transfer = {to, property, 0};
            break;
        }
        }
        notify(request, property);
    }

    void sendChunk()
    {
        if (m_finished)
            return;
        if (m_answer == Answer::Trickle) {
            m_nextDrop = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
            return;
        }
        if (m_answer == Answer::Flood) {
            m_flooding = true;
            return;
        }
        const std::size_t piece = std::size_t(1) << 20;
        const Window to = m_transfer.requestor;
        const Atom property = m_transfer.property;
        if (m_answer == Answer::FloodedChunks) {
            flood(to);
            const bool last = m_transfer.sent == m_text.size();
            put(to, property, m_utf8, 8, m_text.data() + m_transfer.sent, last ? 0 : 1);
            m_transfer.sent += last ? 0 : 1;
            m_finished = last;
        } else if (m_transfer.sent == 0) {
            const std::string text(piece, 'a');
            put(to, property, m_utf8, 8, text.data(), text.size());
            m_transfer.sent += piece;
        } else if (m_transfer.sent < m_size) {
            putLongs(to, property, m_utf8, 0x41414141, piece);
            m_transfer.sent += piece;
        } else {
            put(to, property, m_utf8, 8, "", 0);
            m_finished = true;
        }
        XFlush(m_display);
    }

    Answer m_answer;
    std::string m_text;
    std::size_t m_size;
    Display* m_display = nullptr;
    Window m_window = None;
    Atom m_clipboard = None, m_utf8 = None, m_uriList = None, m_targets = None, m_incremental = None, m_noise = None;
    bool m_owned = false;
    Transfer m_transfer;
    XSelectionRequestEvent m_lateRequest{};
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_finished{false};
    std::optional<std::chrono::steady_clock::time_point> m_nextDrop;
    bool m_flooding = false;
    std::atomic<bool> m_outlasted{false};
    std::thread m_thread;
};

} // namespace QV::UIA::Testing
