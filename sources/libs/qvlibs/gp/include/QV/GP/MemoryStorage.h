#pragma once

#include <QV/GP/IStorage.h>

#include <cstdint>

namespace QV::GP {

// A storage over a block of memory that belongs to the caller. The block is
// never grown or freed: a write that does not fit copies what fits and fails.
// The block must outlive the storage.
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

    // Back to the closed state; the block is not touched.
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

    unsigned char* m_buffer = nullptr;
    std::uint64_t m_size = 0;
    // Never above m_size, so the room left is always m_size - m_position.
    std::uint64_t m_position = 0;
};

} // namespace QV::GP
