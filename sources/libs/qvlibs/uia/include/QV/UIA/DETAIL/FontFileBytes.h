#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace QV::UIA::DETAIL {

// The bytes of one font file as FreeType reads them in place: either held in
// memory, or the file mapped read-only, of which only the pages FreeType
// reads become resident (a face reads its tables and the glyphs it draws,
// a small part of a file made for many scripts).
//
// A mapped file that is cut short on disk while it is mapped would fault on
// the pages past its new end; the files mapped are the application's own
// installed resources, which an installer replaces rather than rewrites.
class FontFileBytes
{
public:
    // The most bytes a font file may have, as for any file read whole.
    static constexpr std::size_t kMostBytes = 0x7FFFFFFF;

    explicit FontFileBytes(std::vector<unsigned char> bytes) noexcept : m_held(std::move(bytes)) {}
    // The regular file open as `descriptor`, mapped whole; null for anything
    // but a regular file of 1 to kMostBytes bytes, or when it cannot be
    // mapped. The descriptor may be closed afterwards.
    static std::shared_ptr<const FontFileBytes> map(int descriptor);
    FontFileBytes(const FontFileBytes&) = delete;
    FontFileBytes& operator=(const FontFileBytes&) = delete;
    ~FontFileBytes();

    const unsigned char* data() const noexcept { return m_mapped != nullptr ? m_mapped : m_held.data(); }
    std::size_t size() const noexcept { return m_mapped != nullptr ? m_mappedSize : m_held.size(); }
    bool empty() const noexcept { return size() == 0; }
    bool isMapped() const noexcept { return m_mapped != nullptr; }

private:
    FontFileBytes(const unsigned char* mapped, std::size_t size) noexcept : m_mapped(mapped), m_mappedSize(size) {}

    std::vector<unsigned char> m_held;
    const unsigned char* m_mapped = nullptr;
    std::size_t m_mappedSize = 0;
};

} // namespace QV::UIA::DETAIL
