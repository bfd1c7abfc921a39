#pragma once

#include <QV/GP/IStorage.h>

#include <climits>
#include <cstdint>
#include <memory>
#include <vector>

namespace QV::GP {

// One address space made of a chain of part storages laid end to end: part 0
// holds the first bytes, part 1 the bytes after them, and so on. The class
// that knows where the parts live opens them (openPart) and says how large
// each is (getPartSize); this one moves reads, writes and positions across
// the parts.
//
// Parts are opened lazily: reads and seeks open each part when they reach it.
// A read never runs past the last part and never wraps round to part 0: at
// the end of the last part it stops with the bytes it found.
//
// The state word follows the other storages: a read that is served in full
// leaves state 1, or 2 when it took the last byte of the last part; a read
// that comes up short leaves state 3.
//
// Thread affinity: one thread at a time.
template <typename PartStorage>
class MultiPartStorage : public IStorage
{
public:
    MultiPartStorage() = default;
    ~MultiPartStorage() override { closeAllParts(); }

    bool isOpen() const override { return !m_parts.empty(); }

    std::size_t read(void* buffer, std::size_t count) override;
    std::size_t write(const void* buffer, std::size_t count) override;
    long long getPos64() const override;
    bool seek64(long long offset, eSeekMode mode) override;

    // Opens part index, makes it current and moves it to its start.
    virtual bool openPart(int index) = 0;
    virtual void closePart(int index)
    {
        if (index >= 0 && static_cast<std::size_t>(index) < m_parts.size())
            m_parts[static_cast<std::size_t>(index)].reset();
    }
    virtual void close()
    {
        closeAllParts();
        m_accessMode = eAccessNone;
        m_state = eStateClosed;
    }
    virtual void flush() {}

    // The sum of the sizes of all parts.
    virtual long long getCurrentStorageSize()
    {
        long long total = 0;
        for (std::size_t i = 0; i < m_parts.size(); ++i)
            total = addClamped(total, getPartSize(static_cast<int>(i)));
        m_flags &= static_cast<std::uint8_t>(~kFlagSizesChanged);
        return total;
    }

    virtual long long getMaxAllowedStorageSize() const { return m_maxStorageSize; }
    virtual void setMaxAllowedStorageSize(long long size) { m_maxStorageSize = size; }
    virtual long long getMaxAllowedPartSize() const { return m_maxPartSize; }
    virtual void setMaxAllowedPartSize(long long size) { m_maxPartSize = size; }
    virtual long long getMaxAllowedPartCount() const { return m_maxPartCount; }
    virtual void setMaxAllowedPartCount(long long count) { m_maxPartCount = count; }

    // The part that holds a position of the whole address space, and where
    // that part starts in it.
    virtual bool getPartIndexForPosition(long long position, long long& index, long long& partStart) = 0;

    // How large the part may grow: the part-size limit when writing, else the
    // size it has.
    virtual long long getMaximumPartSizeForCurrentMode(int index)
    {
        return isWritable() ? m_maxPartSize : getPartSize(index);
    }
    virtual long long getPartSize(int index) = 0;
    // Where part index starts in the whole address space.
    virtual long long getPartOffset(int index)
    {
        long long offset = 0;
        for (int i = 0; i < index; ++i)
            offset = addClamped(offset, getPartSize(i));
        return offset;
    }

    std::size_t getPartSlotCount() const noexcept { return m_parts.size(); }
    int getCurrentPartIndex() const noexcept { return m_currentIndex; }

protected:
    static constexpr std::uint8_t kFlagSizesChanged = 1;

    static long long addClamped(long long a, long long b)
    {
        return b > 0 && a > LLONG_MAX - b ? LLONG_MAX : a + b;
    }

    // Makes part index current at its start, opening it when needed.
    bool openPartStorageAt(int index);
    bool isLastSlot(int index) const { return index >= 0 && static_cast<std::size_t>(index) + 1 >= m_parts.size(); }
    PartStorage* partAt(int index) const
    {
        return index >= 0 && static_cast<std::size_t>(index) < m_parts.size()
                   ? m_parts[static_cast<std::size_t>(index)].get()
                   : nullptr;
    }
    void closeAllParts()
    {
        m_parts.clear();
        m_currentIndex = -1;
        m_currentOffset = 0;
    }
    // The current part and the bytes between its position and limit; null,
    // with state 3, when there is no current part or it cannot say where it is.
    PartStorage* currentPartWithRoom(long long limit, std::uint64_t& room)
    {
        PartStorage* part = partAt(m_currentIndex);
        if (part == nullptr)
        {
            m_state = eStateError;
            return nullptr;
        }
        room = static_cast<std::uint64_t>(limit > m_partPosition ? limit - m_partPosition : 0);
        return part;
    }
    void loseCurrentPart()
    {
        m_currentIndex = -1;
        m_state = eStateError;
    }

    std::vector<std::unique_ptr<PartStorage>> m_parts;
    long long m_maxStorageSize = LLONG_MAX;
    long long m_maxPartCount = LLONG_MAX;
    long long m_maxPartSize = LLONG_MAX;
    long long m_currentOffset = 0;
    // The position inside the current part, kept here rather than asked of
    // the part: asking a stdio file costs a system call at every read.
    long long m_partPosition = 0;
    int m_currentIndex = -1;
    std::uint8_t m_flags = 0;
};

template <typename PartStorage>
bool MultiPartStorage<PartStorage>::openPartStorageAt(int index)
{
    if (index < 0)
        return false;
    if (static_cast<std::size_t>(index) >= m_parts.size())
    {
        if (!isWritable())
            return false;
        if (!openPart(index))
        {
            closePart(index);
            return false;
        }
    }
    else if (partAt(index) == nullptr && !openPart(index))
    {
        closePart(index);
        m_state = eStateError;
        return false;
    }
    PartStorage* part = partAt(index);
    if (part == nullptr)
        return false;
    m_currentIndex = index;
    m_currentOffset = getPartOffset(index);
    m_partPosition = 0;
    part->seek64(0, eSeekFromStart);
    return part->getState() == eStateOpen || part->getState() == eStateEndOfFile;
}

template <typename PartStorage>
std::size_t MultiPartStorage<PartStorage>::read(void* buffer, std::size_t count)
{
    if (!acceptsTransfer())
        return 0;
    if (m_currentIndex < 0 && !openPartStorageAt(0))
    {
        loseCurrentPart();
        return 0;
    }
    auto* out = static_cast<unsigned char*>(buffer);
    std::size_t total = 0;
    std::size_t remaining = count;
    for (;;)
    {
        std::uint64_t available = 0;
        PartStorage* part = currentPartWithRoom(getPartSize(m_currentIndex), available);
        if (part == nullptr)
            return total;
        if (available >= remaining)
        {
            const std::size_t got = remaining == 0 ? 0 : part->read(out + total, remaining);
            total += got;
            m_partPosition += static_cast<long long>(got);
            if (got < remaining)
            {
                m_state = eStateError;
                return total;
            }
            // Data that follows in this part or a later one keeps the storage
            // open; only the very last byte of the last part is its end.
            m_state = available == remaining && isLastSlot(m_currentIndex) ? eStateEndOfFile : eStateOpen;
            return total;
        }
        if (available > 0)
        {
            const std::size_t got = part->read(out + total, static_cast<std::size_t>(available));
            total += got;
            m_partPosition += static_cast<long long>(got);
            remaining -= got;
            if (got < available)
            {
                m_state = eStateError;
                return total;
            }
        }
        // This part is used up. A read that ends exactly at a part's end
        // leaves the part current, so the next read also comes here and goes
        // on in the next part rather than stopping at the boundary.
        if (isLastSlot(m_currentIndex))
        {
            m_state = eStateError;
            return total;
        }
        if (!openPartStorageAt(m_currentIndex + 1))
        {
            loseCurrentPart();
            return total;
        }
    }
}

template <typename PartStorage>
std::size_t MultiPartStorage<PartStorage>::write(const void* buffer, std::size_t count)
{
    if (!acceptsTransfer() || !isWritable())
        return 0;
    if (m_currentIndex < 0 && !openPartStorageAt(0))
    {
        loseCurrentPart();
        return 0;
    }
    if (count == 0)
        return 0;
    const auto* in = static_cast<const unsigned char*>(buffer);
    std::size_t total = 0;
    std::size_t remaining = count;
    for (;;)
    {
        std::uint64_t space = 0;
        PartStorage* part = currentPartWithRoom(getMaximumPartSizeForCurrentMode(m_currentIndex), space);
        if (part == nullptr)
            return total;
        const std::size_t chunk = space >= remaining ? remaining : static_cast<std::size_t>(space);
        if (chunk > 0)
        {
            const std::size_t written = part->write(in + total, chunk);
            total += written;
            m_partPosition += static_cast<long long>(written);
            remaining -= written;
            m_flags |= kFlagSizesChanged;
            // A part that takes fewer bytes than asked ends the write; what
            // went into the file is reported, not hidden behind a 0.
            if (written < chunk)
            {
                m_state = total > 0 ? eStateOpen : eStateError;
                return total;
            }
        }
        if (remaining == 0)
        {
            m_state = eStateOpen;
            return total;
        }
        if (!openPartStorageAt(m_currentIndex + 1))
        {
            loseCurrentPart();
            return total;
        }
    }
}

template <typename PartStorage>
long long MultiPartStorage<PartStorage>::getPos64() const
{
    if (m_currentIndex < 0 || static_cast<std::size_t>(m_currentIndex) >= m_parts.size())
        return -1;
    const PartStorage* part = partAt(m_currentIndex);
    if (part == nullptr)
        return 0;
    return m_currentOffset + m_partPosition;
}

template <typename PartStorage>
bool MultiPartStorage<PartStorage>::seek64(long long offset, eSeekMode mode)
{
    if (!isOpen())
        return false;
    long long target = 0;
    switch (mode)
    {
    case eSeekFromStart:
        target = offset;
        break;
    case eSeekFromCurrent: {
        if (!acceptsTransfer())
            return false;
        long long current = getPos64();
        if (current < 0)
            current = 0;
        if ((offset > 0 && current > LLONG_MAX - offset))
        {
            m_state = eStateError;
            return false;
        }
        target = current + offset;
        break;
    }
    case eSeekFromEnd:
        // The offset counts back from the end.
        target = offset < 0 ? -1 : getCurrentStorageSize() - offset;
        break;
    default:
        return acceptsTransfer();
    }
    if (target < 0)
    {
        m_state = eStateError;
        return false;
    }

    bool atLastByte = false;
    if (target == 0)
    {
        if (!openPartStorageAt(0))
        {
            loseCurrentPart();
            return false;
        }
        atLastByte = isLastSlot(0) && getPartSize(0) == 0;
    }
    else
    {
        long long sum = 0;
        for (int index = 0;; ++index)
        {
            if (static_cast<std::size_t>(index) >= m_parts.size())
            {
                if (!isWritable())
                {
                    loseCurrentPart();
                    return false;
                }
                m_parts.resize(static_cast<std::size_t>(index) + 1);
            }
            if (partAt(index) == nullptr && !openPart(index))
            {
                loseCurrentPart();
                return false;
            }
            m_currentIndex = index;
            m_currentOffset = sum;
            // A writable part may grow to the part limit; a part being read
            // holds what it holds.
            const long long size = isWritable() ? m_maxPartSize : getPartSize(index);
            if (size <= 0)
            {
                loseCurrentPart();
                return false;
            }
            if (target - sum <= size)
            {
                atLastByte = !isWritable() && isLastSlot(index) && target - sum == size;
                break;
            }
            sum += size;
        }
    }

    PartStorage* part = partAt(m_currentIndex);
    part->seek64(target - m_currentOffset, eSeekFromStart);
    m_partPosition = target - m_currentOffset;
    if (part->getState() != eStateOpen && part->getState() != eStateEndOfFile)
    {
        m_state = eStateError;
        return false;
    }
    m_state = atLastByte ? eStateEndOfFile : eStateOpen;
    return true;
}

} // namespace QV::GP
