#include <QV/GP/MemoryStorage.h>

#include <climits>
#include <cstring>
#include <new>

namespace QV::GP {

namespace {

// Positions are reported as signed 64-bit values, so a block may not claim
// more bytes than such a position can name.
constexpr std::uint64_t kMaxSize = static_cast<std::uint64_t>(LLONG_MAX);

std::uint64_t clampSize(std::uint64_t size)
{
    return size > kMaxSize ? kMaxSize : size;
}

// A zero-filled block, or null when the memory cannot be had; growth is a
// fallible operation and reports failure through the state, not by throwing.
std::unique_ptr<unsigned char[]> allocateBlock(std::uint64_t size)
{
    if (size > static_cast<std::uint64_t>(SIZE_MAX))
        return nullptr;
    return std::unique_ptr<unsigned char[]>(new (std::nothrow) unsigned char[size == 0 ? 1 : size]());
}

} // namespace

bool MemoryStorage::init(eAccessMode mode, void* buffer, std::uint64_t size)
{
    m_owned.reset();
    m_granularity = 0;
    m_factor = 0.0F;
    m_buffer = static_cast<unsigned char*>(buffer);
    m_size = buffer != nullptr ? clampSize(size) : 0;
    m_position = 0;
    m_accessMode = mode;
    m_state = eStateOpen;
    return true;
}

bool MemoryStorage::init(eAccessMode mode, const void* buffer, std::uint64_t size)
{
    // The storage never writes through a block it was given as constant.
    init(static_cast<eAccessMode>(mode & ~eAccessWrite), const_cast<void*>(buffer), size);
    return true;
}

bool MemoryStorage::initOwned(eAccessMode mode, std::uint64_t size, std::uint64_t granularity, float factor)
{
    close();
    std::unique_ptr<unsigned char[]> block = allocateBlock(clampSize(size));
    if (!block)
        return false;
    init(mode, static_cast<void*>(block.get()), size);
    m_owned = std::move(block);
    m_granularity = granularity;
    m_factor = factor;
    return true;
}

void MemoryStorage::close()
{
    m_owned.reset();
    m_granularity = 0;
    m_factor = 0.0F;
    m_buffer = nullptr;
    m_size = 0;
    m_position = 0;
    m_accessMode = eAccessNone;
    m_state = eStateClosed;
}

std::size_t MemoryStorage::transfer(unsigned char* to, const unsigned char* from, std::size_t count, bool toBlock)
{
    const std::uint64_t room = m_size - m_position;
    std::size_t done = count;
    if (count > room)
    {
        done = static_cast<std::size_t>(room);
        m_state = eStateError;
    }
    if (done != 0)
    {
        if (toBlock)
            std::memcpy(m_buffer + m_position, from, done);
        else
            std::memcpy(to, m_buffer + m_position, done);
    }
    m_position += done;
    if (m_position == m_size && acceptsTransfer())
        m_state = eStateEndOfFile;
    return done;
}

std::uint64_t MemoryStorage::grownSize(std::uint64_t needed) const
{
    if (m_granularity > 0)
    {
        const std::uint64_t remainder = needed % m_granularity;
        if (remainder == 0)
            return needed;
        const std::uint64_t padding = m_granularity - remainder;
        return padding > kMaxSize - needed ? 0 : needed + padding;
    }
    if (!(m_factor > 0.0F))
        return 0;

    // The increment is taken whole rather than cut to 32 bits, and a size so
    // small (or zero) that the factor adds nothing grows to what the write
    // needs: either way the loop would otherwise never end.
    std::uint64_t size = m_size;
    while (size < needed)
    {
        const double increment = static_cast<double>(size) * static_cast<double>(m_factor);
        if (increment < 1.0 || increment >= static_cast<double>(kMaxSize - size))
            return needed;
        size += static_cast<std::uint64_t>(increment);
    }
    return size;
}

bool MemoryStorage::grow(std::size_t count)
{
    if (!m_owned || count > kMaxSize - m_position)
        return false;
    const std::uint64_t size = grownSize(m_position + count);
    if (size == 0)
        return false;
    std::unique_ptr<unsigned char[]> block = allocateBlock(size);
    if (!block)
        return false;
    // Everything from the position on is about to be overwritten, so only
    // the bytes before it are kept.
    if (m_position != 0)
        std::memcpy(block.get(), m_buffer, static_cast<std::size_t>(m_position));
    m_owned = std::move(block);
    m_buffer = m_owned.get();
    m_size = size;
    m_state = eStateOpen;
    return true;
}

std::size_t MemoryStorage::read(void* buffer, std::size_t count)
{
    if (!acceptsTransfer())
        return 0;
    return transfer(static_cast<unsigned char*>(buffer), nullptr, count, false);
}

std::size_t MemoryStorage::write(const void* buffer, std::size_t count)
{
    if (!acceptsTransfer())
        return 0;
    if (!isWritable())
    {
        m_state = eStateError;
        return 0;
    }
    if (count > m_size - m_position)
        grow(count);
    return transfer(nullptr, static_cast<const unsigned char*>(buffer), count, true);
}

long long MemoryStorage::getPos64() const
{
    return isOpen() ? static_cast<long long>(m_position) : -1;
}

bool MemoryStorage::seek64(long long offset, eSeekMode mode)
{
    if (!isOpen())
        return false;

    // The target is worked out without forming sums that could overflow:
    // each branch checks the offset against the room in its direction.
    std::uint64_t base = 0;
    switch (mode)
    {
    case eSeekFromStart:
        base = 0;
        break;
    case eSeekFromCurrent:
        if (!acceptsTransfer())
            return false;
        base = m_position;
        break;
    case eSeekFromEnd:
        base = m_size;
        break;
    default:
        return acceptsTransfer();
    }

    bool inside = false;
    std::uint64_t target = 0;
    if (offset >= 0)
    {
        const std::uint64_t forward = static_cast<std::uint64_t>(offset);
        inside = forward <= m_size - base;
        target = base + (inside ? forward : 0);
    }
    else
    {
        // Negating LLONG_MIN directly would overflow; go through unsigned.
        const std::uint64_t back = 0 - static_cast<std::uint64_t>(offset);
        inside = back <= base;
        target = base - (inside ? back : 0);
    }

    if (!inside)
    {
        m_state = eStateError;
        return false;
    }
    m_position = target;
    m_state = m_position == m_size ? eStateEndOfFile : eStateOpen;
    return true;
}

} // namespace QV::GP
