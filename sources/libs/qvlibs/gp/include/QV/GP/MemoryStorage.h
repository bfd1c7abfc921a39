#pragma once

#include <QV/GP/IStorage.h>

#include <cstdint>
#include <memory>

namespace QV::GP {

// A storage over a block of memory. A block that belongs to the caller is
// never grown or freed: a write that does not fit copies what fits and fails,
// and the block must outlive the storage. A block that the storage allocated
// itself (initOwned) grows when a write runs past its end, by a granularity or
// by a factor of its size, and is freed with the storage.
//
// Thread affinity: one thread at a time.
class MemoryStorage : public IStorage
{
public:
    MemoryStorage() = default;

    // Points the storage at the block, position 0, state 1. A block given as
    // constant is opened for reading only, whatever the mode asks.
    bool init(eAccessMode mode, void* buffer, std::uint64_t size);
    bool init(eAccessMode mode, const void* buffer, std::uint64_t size);
    // A zero-filled block of the size that the storage owns, position 0,
    // state 1. A write past the end grows it: with a granularity above 0 to
    // the end of the write rounded up to a multiple of it, else with a factor
    // above 0 by the size times the factor until the write fits, else not at
    // all. False, and the storage closed, when the block cannot be had.
    bool initOwned(eAccessMode mode, std::uint64_t size, std::uint64_t granularity, float factor);

    // Back to the closed state; a caller's block is not touched, an owned one
    // is freed.
    void close();

    std::size_t read(void* buffer, std::size_t count) override;
    std::size_t write(const void* buffer, std::size_t count) override;
    long long getPos64() const override;
    bool seek64(long long offset, eSeekMode mode) override;

    std::uint64_t getSize() const noexcept { return m_size; }
    const unsigned char* getBuffer() const noexcept { return m_buffer; }

private:
    // Copies at most count bytes between the block and the caller and keeps
    // position and state as reads and writes share them.
    std::size_t transfer(unsigned char* to, const unsigned char* from, std::size_t count, bool toBlock);
    // Makes an owned block large enough for count bytes at the position;
    // false when it may not or cannot grow.
    bool grow(std::size_t count);
    std::uint64_t grownSize(std::uint64_t needed) const;

    std::unique_ptr<unsigned char[]> m_owned;
    std::uint64_t m_granularity = 0;
    float m_factor = 0.0F;
    unsigned char* m_buffer = nullptr;
    std::uint64_t m_size = 0;
    // Never above m_size, so the room left is always m_size - m_position.
    std::uint64_t m_position = 0;
};

} // namespace QV::GP
