#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace QV::GP::DETAIL {

// Little-endian fields of container files, read and written byte by byte so
// that nothing depends on the alignment of the buffer.
inline std::uint32_t readLE32(const std::uint8_t* p) noexcept
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8)
           | (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline std::uint64_t readLE64(const std::uint8_t* p) noexcept
{
    return static_cast<std::uint64_t>(readLE32(p)) | (static_cast<std::uint64_t>(readLE32(p + 4)) << 32);
}

inline void writeLE32(std::uint8_t* p, std::uint32_t value) noexcept
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline void writeLE64(std::uint8_t* p, std::uint64_t value) noexcept
{
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A UTF-16 text field as UTF-8: it ends at the first 0 unit or, when a
// damaged file leaves that out, at the end of the field.
std::string readUTF16Field(const std::uint8_t* field, std::size_t fieldBytes);

} // namespace QV::GP::DETAIL
