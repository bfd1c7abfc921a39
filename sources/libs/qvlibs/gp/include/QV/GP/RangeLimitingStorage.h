#pragma once

#include <QV/GP/IStorage.h>

#include <cstdint>

namespace QV::GP {

// A window [offset, offset + length) on another storage; a length of 0 lets
// the window run to the inner storage's end. Positions are window-relative.
//
// Reads and writes stay inside the window: a write that would cross its end
// writes nothing, so an item of a container can never overwrite the item
// after it.
//
// Thread affinity: one thread at a time, the same as the inner storage.
class RangeLimitingStorage : public IStorage
{
public:
    RangeLimitingStorage() = default;
    ~RangeLimitingStorage() override;

    // Opens the window on an open inner storage and moves to its start;
    // false (state 3) when the inner storage is closed or cannot go there.
    // With ownsInner the window deletes the inner storage when it goes.
    bool init(IStorage* inner, bool ownsInner, std::uint64_t offset, std::uint64_t length);
    // Closes the window (and deletes an owned inner storage).
    void close();

    std::size_t read(void* buffer, std::size_t count) override;
    std::size_t write(const void* buffer, std::size_t count) override;
    long long getPos64() const override;
    bool seek64(long long offset, eSeekMode mode) override;

    IStorage* getInner() const noexcept { return m_inner; }
    std::uint64_t getOffset() const noexcept { return m_offset; }
    std::uint64_t getLength() const noexcept { return m_length; }

private:
    // The bytes that a transfer of count bytes may move at the inner
    // position; 0 with ok false when the position is outside the window.
    std::size_t allowed(std::size_t count, bool& ok) const;
    void takeStateFromInner();

    IStorage* m_inner = nullptr;
    bool m_ownsInner = false;
    std::uint64_t m_offset = 0;
    std::uint64_t m_length = 0;
};

} // namespace QV::GP
