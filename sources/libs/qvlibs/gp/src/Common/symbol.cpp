#include <QV/GP/symbol.h>

#include <array>
#include <cstring>
#include <mutex>

namespace qv {

namespace {

std::uint64_t sdbmHash(char const* text, std::size_t length) noexcept
{
    std::uint64_t hash = 0;
    for (std::size_t i = 0; i < length; ++i)
        hash = static_cast<std::uint64_t>(static_cast<std::int64_t>(static_cast<signed char>(text[i])))
            + hash * 65599u;
    return hash;
}

// A fixed number of buckets and one lock: symbols are made mostly while
// style sheets and resources are read, and the table never rehashes, so an
// entry's address, and with it every symbol, stays valid.
class SymbolTable
{
public:
    static constexpr std::size_t BucketCount = 4096;

    // The table keys entries by their text up to the first NUL, so that a
    // text and the same text followed by a NUL and more bytes are one entry;
    // the entry keeps the whole text it was first made from.
    detail::symbol_entry const* intern(char const* text, std::size_t length)
    {
        const std::size_t keyLength = strnlen(text, length);
        const std::uint64_t hash = sdbmHash(text, keyLength);
        detail::symbol_entry*& bucket = m_buckets[hash & (BucketCount - 1)];
        const std::lock_guard<std::mutex> lock(m_mutex);
        for (detail::symbol_entry const* entry = bucket; entry != nullptr; entry = entry->next)
            if (entry->hash == hash && std::strlen(entry->text.c_str()) == keyLength
                && (keyLength == 0 || std::memcmp(entry->text.data(), text, keyLength) == 0))
                return entry;
        bucket = new detail::symbol_entry{bucket, std::string(text, length), hash};
        return bucket;
    }

private:
    std::mutex m_mutex;
    std::array<detail::symbol_entry*, BucketCount> m_buckets{};
};

// The table is never destroyed: symbols held by static objects must stay
// readable while those objects are torn down at exit.
SymbolTable& table()
{
    // The empty text goes in first, so that the empty symbol's text is empty
    // even when a text beginning with a NUL is interned before it is made.
    static SymbolTable* const instance = [] {
        auto* made = new SymbolTable;
        made->intern("", 0);
        return made;
    }();
    return *instance;
}

detail::symbol_entry const* emptyEntry()
{
    static detail::symbol_entry const* const entry = table().intern("", 0);
    return entry;
}

} // namespace

symbol::symbol() : m_entry(emptyEntry()) {}

symbol::symbol(std::string const& text) : m_entry(table().intern(text.data(), text.size())) {}

symbol::symbol(char const* text, unsigned long length)
    : m_entry(text != nullptr ? table().intern(text, length) : emptyEntry())
{
}

bool symbol::operator==(char const* text) const noexcept
{
    return text != nullptr && std::strcmp(m_entry->text.c_str(), text) == 0;
}

} // namespace qv
