#pragma once

#include <QV/GP/CriticalSection.h>

#include <algorithm>
#include <vector>

namespace QV::GP::DETAIL {

// A list of listeners (not owned) under a recursive lock of the shared heap.
// Notices go over a copy of the list, so that a listener may add or remove
// listeners, itself included, while it is told: nobody after it is skipped,
// and one removed during the notice is not called afterwards.
template <typename Listener>
class ListenerList
{
public:
    // False when no lock could be had.
    bool start()
    {
        if (m_lock == nullptr)
            m_lock = CriticalSection::allocate();
        return m_lock != nullptr;
    }
    void stop()
    {
        CriticalSection::release(m_lock);
        m_lock = nullptr;
        m_listeners.clear();
    }
    void add(Listener* listener)
    {
        if (m_lock == nullptr || listener == nullptr)
            return;
        CriticalSection::Guard guard(*m_lock);
        m_listeners.push_back(listener);
    }
    void remove(Listener* listener)
    {
        if (m_lock == nullptr)
            return;
        CriticalSection::Guard guard(*m_lock);
        const auto found = std::find(m_listeners.begin(), m_listeners.end(), listener);
        if (found != m_listeners.end())
            m_listeners.erase(found);
    }
    bool contains(Listener* listener) const
    {
        return std::find(m_listeners.begin(), m_listeners.end(), listener) != m_listeners.end();
    }
    // Calls tell(listener) for each listener in the order they were added.
    template <typename Tell>
    void notify(Tell tell)
    {
        if (m_lock == nullptr)
            return;
        CriticalSection::Guard guard(*m_lock);
        const std::vector<Listener*> listeners = m_listeners;
        for (Listener* listener : listeners)
            if (contains(listener))
                tell(listener);
    }

private:
    std::vector<Listener*> m_listeners;
    CriticalSection* m_lock = nullptr;
};

} // namespace QV::GP::DETAIL
