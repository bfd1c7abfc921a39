#pragma once

#include <cstdint>

namespace QV::QDV2::USB {

// The first two bytes of every USB descriptor.
struct DescriptorHeader {
  std::uint8_t bLength;
  std::uint8_t bDescriptorType;
};

namespace Descriptor {

// The descriptor after `d` in a block of `remaining` bytes that starts at `d`,
// with `remaining` reduced by d's length; null at the end of the block or when
// a length does not fit what remains. Never reads past the block.
const DescriptorHeader* getNext(const DescriptorHeader* d, std::uint32_t& remaining);

}  // namespace Descriptor

}  // namespace QV::QDV2::USB
