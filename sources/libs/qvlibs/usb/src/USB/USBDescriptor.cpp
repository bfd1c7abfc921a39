#include "QV/QDV2/USBDescriptor.h"

#include <cstdio>

namespace QV::QDV2::USB {

const DescriptorHeader* Descriptor::getNext(const DescriptorHeader* d, std::uint32_t& remaining) {
  // Fewer bytes than a header cannot hold a descriptor, so d's length is not
  // read at all: the block ends here.
  if (d == nullptr || remaining < sizeof(DescriptorHeader)) {
    return nullptr;
  }
  if (d->bLength == 0 || d->bLength > remaining) {
    std::printf("invalid descriptor size: pStart->bLength = %d, uRemainingSize = %d\n",
                int(d->bLength), int(remaining));
    return nullptr;
  }
  remaining -= d->bLength;
  if (remaining == 0) {
    return nullptr;
  }
  // A single trailing byte cannot hold the next header; handing it out would
  // let the caller read its descriptor type from past the block.
  if (remaining < sizeof(DescriptorHeader)) {
    remaining = 0;
    return nullptr;
  }
  const auto* next = reinterpret_cast<const DescriptorHeader*>(
      reinterpret_cast<const std::uint8_t*>(d) + d->bLength);
  if (next->bLength > remaining) {
    std::printf("invalid descriptor size: pNext->bLength = %d, uRemainingSize = %d\n",
                int(next->bLength), int(remaining));
    remaining = 0;
    return nullptr;
  }
  return next;
}

}  // namespace QV::QDV2::USB
