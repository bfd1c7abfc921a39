#pragma once

#include <cstdint>
#include <string>

namespace qv {

namespace detail {

// One entry of the process-wide symbol table. Entries are immutable once
// inserted and live until the process ends, so a symbol can be read
// without a lock, even from the destructor of a static object.
struct symbol_entry
{
    symbol_entry* next;
    std::string text;
    std::uint64_t hash;
};

} // namespace detail

// An interned string: every distinct text exists once in a process-wide
// table and a symbol is a handle to that one entry, so symbols compare and
// hash in constant time. Symbols may be made from any thread.
class symbol
{
public:
    // The symbol of the empty text.
    symbol();
    explicit symbol(std::string const& text);
    // Interns the text given by its first length bytes. Texts are
    // terminated strings to the table: hashing and comparison stop at the
    // first NUL, so "a\0b" and "a" are one symbol, whose stored text is that
    // of the first one interned. No byte beyond length is read.
    symbol(char const* text, unsigned long length);

    std::string const& string() const noexcept { return m_entry->text; }
    // The sdbm hash of the text (h = c + h * 65599 over its bytes taken as
    // signed 8-bit values up to the first NUL, in unsigned 64-bit
    // arithmetic), computed once
    // when the entry was made.
    std::uint64_t hash() const noexcept { return m_entry->hash; }

    bool operator==(symbol const& other) const noexcept { return m_entry == other.m_entry; }
    // Whether the text equals the NUL-terminated text; a null pointer
    // equals nothing.
    bool operator==(char const* text) const noexcept;

private:
    detail::symbol_entry const* m_entry;
};

} // namespace qv
