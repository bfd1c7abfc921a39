#pragma once

#include <cstddef>
#include <cstdint>

namespace QV::GP {

// The one byte-level abstraction under every file, memory block and resource
// the system reads: raw reads, writes and positioning, with a state word that
// records the outcome. Nothing here throws; callers look at the return value
// and, when it falls short, at the state.
//
// The state word: 0 closed, 1 open, 2 end reached, 3 error. Reads, writes and
// relative seeks are accepted only in states 1 and 2, so one failure stops a
// run of reads until the caller seeks to a known place again.
//
// Thread affinity: a storage belongs to one thread at a time.
class IStorage
{
public:
    enum eAccessMode : std::uint32_t
    {
        eAccessNone = 0,
        eAccessRead = 1,
        eAccessWrite = 2,
        // Read and write; a file is created when it is missing.
        eAccessReadWrite = 3,
    };

    enum eSeekMode : int
    {
        eSeekFromStart = 0,
        eSeekFromCurrent = 1,
        eSeekFromEnd = 2,
    };

    enum eLockingMode : int
    {
        eLockNone = 0,
        // An exclusive lock that fails at once when someone else holds it.
        eLockExclusiveNoWait = 1,
        // An exclusive lock that waits for the holder to let go.
        eLockExclusiveWait = 2,
    };

    enum eState : std::uint32_t
    {
        eStateClosed = 0,
        eStateOpen = 1,
        eStateEndOfFile = 2,
        eStateError = 3,
    };

    IStorage() = default;
    IStorage(const IStorage&) = delete;
    IStorage& operator=(const IStorage&) = delete;
    virtual ~IStorage() = default;

    virtual bool isOpen() const { return m_state != eStateClosed; }

    // Both return the number of bytes moved; see each storage for what a
    // short count means.
    virtual std::size_t read(void* buffer, std::size_t count) = 0;
    virtual std::size_t write(const void* buffer, std::size_t count) = 0;

    // The position cut to 32 bits, for callers that only handle small data.
    virtual int getPos() const { return static_cast<int>(getPos64()); }
    // The position, or -1 when there is none (closed, or outside a window).
    virtual long long getPos64() const = 0;

    // The 32-bit offset keeps its sign, so seek(-1, eSeekFromCurrent) steps
    // back one byte. Both answer whether the storage is in state 1 or 2
    // afterwards; a seek that was not carried out answers false.
    virtual bool seek(int offset, eSeekMode mode) { return seek64(offset, mode); }
    virtual bool seek64(long long offset, eSeekMode mode) = 0;

    eAccessMode getAccessMode() const noexcept { return m_accessMode; }
    std::uint32_t getState() const noexcept { return m_state; }

protected:
    bool acceptsTransfer() const noexcept { return m_state == eStateOpen || m_state == eStateEndOfFile; }
    bool isWritable() const noexcept { return (m_accessMode & eAccessWrite) != 0; }

    eAccessMode m_accessMode = eAccessNone;
    std::uint32_t m_state = eStateClosed;
};

} // namespace QV::GP
