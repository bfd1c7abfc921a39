#pragma once

#include <bit>
#include <cstdint>

namespace QV::GP::Endian {

// The byte order of the values a stream reads and writes. Values in the
// host's order (1) are moved as they are; any other order has the bytes of
// 16- and 32-bit values reversed. The host is little-endian.
enum eByteOrder : std::int32_t
{
    eLittleEndian = 1,
    eBigEndian = 2,
};

static_assert(std::endian::native == std::endian::little, "byte order 1 is the host's order, taken as little-endian");

} // namespace QV::GP::Endian
