#include <QV/GP/RangeLimitingStorage.h>

#include <climits>

namespace QV::GP {

RangeLimitingStorage::~RangeLimitingStorage()
{
    close();
}

bool RangeLimitingStorage::init(IStorage* inner, bool ownsInner, std::uint64_t offset, std::uint64_t length)
{
    close();
    m_inner = inner;
    m_ownsInner = ownsInner;
    m_offset = offset;
    m_length = length;
    if (inner == nullptr || !inner->isOpen() || offset > static_cast<std::uint64_t>(LLONG_MAX)
        || length > static_cast<std::uint64_t>(LLONG_MAX) - offset)
    {
        m_state = eStateError;
        return false;
    }
    m_accessMode = inner->getAccessMode();
    m_state = eStateOpen;
    return seek64(0, eSeekFromStart);
}

void RangeLimitingStorage::close()
{
    if (m_ownsInner)
        delete m_inner;
    m_inner = nullptr;
    m_ownsInner = false;
    m_offset = 0;
    m_length = 0;
    m_accessMode = eAccessNone;
    m_state = eStateClosed;
}

std::size_t RangeLimitingStorage::allowed(std::size_t count, bool& ok) const
{
    ok = false;
    const long long position = m_inner->getPos64();
    if (position < 0 || static_cast<std::uint64_t>(position) < m_offset)
        return 0;
    if (m_length == 0)
    {
        ok = true;
        return count;
    }
    const std::uint64_t end = m_offset + m_length;
    if (static_cast<std::uint64_t>(position) > end)
        return 0;
    ok = true;
    const std::uint64_t room = end - static_cast<std::uint64_t>(position);
    return count > room ? static_cast<std::size_t>(room) : count;
}

std::size_t RangeLimitingStorage::read(void* buffer, std::size_t count)
{
    if (m_inner == nullptr || !acceptsTransfer())
        return 0;
    bool ok = false;
    const std::size_t asked = allowed(count, ok);
    if (!ok)
        return 0;
    const std::size_t got = asked == 0 ? 0 : m_inner->read(buffer, asked);
    // A read that comes back short failed somewhere: in the inner storage,
    // whose state tells how, or at the window's end. Either way the caller
    // must see it in this storage's state.
    if (got < asked)
        takeStateFromInner();
    else if (got < count)
        m_state = eStateError;
    return got;
}

std::size_t RangeLimitingStorage::write(const void* buffer, std::size_t count)
{
    if (m_inner == nullptr || !acceptsTransfer())
        return 0;
    bool ok = false;
    if (allowed(count, ok) != count || !ok)
    {
        m_state = eStateError;
        return 0;
    }
    const std::size_t written = m_inner->write(buffer, count);
    if (written != count)
        takeStateFromInner();
    return written;
}

long long RangeLimitingStorage::getPos64() const
{
    if (m_inner == nullptr)
        return -1;
    const long long position = m_inner->getPos64();
    if (position < 0 || static_cast<std::uint64_t>(position) < m_offset)
        return -1;
    if (m_length != 0 && static_cast<std::uint64_t>(position) > m_offset + m_length)
        return -1;
    return static_cast<long long>(static_cast<std::uint64_t>(position) - m_offset);
}

bool RangeLimitingStorage::seek64(long long offset, eSeekMode mode)
{
    if (m_inner == nullptr)
        return false;
    if (offset < 0 && mode != eSeekFromCurrent)
    {
        m_state = eStateError;
        return false;
    }
    const auto failed = [this] {
        m_state = eStateError;
        return false;
    };
    // init keeps offset + length within the signed range, so the targets
    // below are only checked where the caller's offset enters them.
    switch (mode)
    {
    case eSeekFromStart:
        if (static_cast<std::uint64_t>(offset) > static_cast<std::uint64_t>(LLONG_MAX) - m_offset)
            return failed();
        m_inner->seek64(static_cast<long long>(m_offset + static_cast<std::uint64_t>(offset)), eSeekFromStart);
        break;
    case eSeekFromCurrent:
        if (!acceptsTransfer())
            return false;
        m_inner->seek64(offset, eSeekFromCurrent);
        break;
    case eSeekFromEnd:
        // The offset counts back from the end, with or without a length, so
        // that one offset means the same place for both kinds of window.
        if (m_length != 0)
        {
            if (static_cast<std::uint64_t>(offset) > m_length)
                return failed();
            m_inner->seek64(static_cast<long long>(m_offset + m_length - static_cast<std::uint64_t>(offset)),
                            eSeekFromStart);
        }
        else
        {
            m_inner->seek64(-offset, eSeekFromEnd);
        }
        break;
    default:
        return acceptsTransfer();
    }
    takeStateFromInner();
    return acceptsTransfer();
}

void RangeLimitingStorage::takeStateFromInner()
{
    const std::uint32_t inner = m_inner->getState();
    if (inner == eStateClosed || inner == eStateEndOfFile || inner == eStateError)
    {
        m_state = inner;
        return;
    }
    const long long position = m_inner->getPos64();
    if (position < 0 || static_cast<std::uint64_t>(position) < m_offset)
        m_state = eStateError;
    else if (m_length != 0 && static_cast<std::uint64_t>(position) > m_offset + m_length)
        m_state = eStateError;
    else if (m_length != 0 && static_cast<std::uint64_t>(position) == m_offset + m_length)
        m_state = eStateEndOfFile;
    else
        m_state = eStateOpen;
}

} // namespace QV::GP
