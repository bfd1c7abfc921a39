#include "QV/QDV2/USBDescriptor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace QV::QDV2::USB {
namespace {

// One step of a walk over a block held on the heap with exactly its own size,
// so that a read past its end is caught by the address sanitizer.
struct Step {
  std::vector<std::uint8_t> block;
  std::uint32_t start;      // offset of the descriptor handed to getNext
  std::uint32_t remaining;  // what the caller says remains from there
  int next;                 // offset of the descriptor expected back, -1 for null
  std::uint32_t remainingAfter;
  std::string printed;
};

TEST(USBDescriptor, WalksWithinTheBlockAndComplainsOnlyAboutLengthsThatDoNotFit) {
  // Configuration, interface and DFU functional descriptors.
  const std::vector<std::uint8_t> wellFormed{9, 2, 27, 0, 1, 1, 0, 0x80, 50,  //
                                             9, 4, 0, 0, 0, 0xFE, 1, 2, 0,    //
                                             9, 0x21, 0x0B, 0xFF, 0, 0, 4, 0x10, 1};
  const Step steps[] = {
      {wellFormed, 0, 27, 9, 18, ""},
      {wellFormed, 9, 18, 18, 9, ""},
      // The last descriptor ends the walk without complaint.
      {wellFormed, 18, 9, -1, 0, ""},
      {{0, 2, 9, 4}, 0, 4, -1, 4, "invalid descriptor size: pStart->bLength = 0, uRemainingSize = 4\n"},
      {{9, 2, 9, 4}, 0, 4, -1, 4, "invalid descriptor size: pStart->bLength = 9, uRemainingSize = 4\n"},
      {{2, 2, 9, 4, 0}, 0, 5, -1, 0, "invalid descriptor size: pNext->bLength = 9, uRemainingSize = 3\n"},
      // One byte left after a descriptor, or in all, cannot hold a header.
      {{2, 2, 1}, 0, 3, -1, 0, ""},
      {{1}, 0, 1, -1, 1, ""},
      {{1}, 0, 0, -1, 0, ""},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(testing::Message() << "start " << step.start << " of " << step.block.size() << " bytes");
    auto bytes = std::make_unique<std::uint8_t[]>(step.block.size());
    std::copy(step.block.begin(), step.block.end(), bytes.get());
    const auto* d = reinterpret_cast<const DescriptorHeader*>(bytes.get() + step.start);
    std::uint32_t remaining = step.remaining;
    testing::internal::CaptureStdout();
    const DescriptorHeader* next = Descriptor::getNext(d, remaining);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), step.printed);
    EXPECT_EQ(next, step.next < 0 ? nullptr : reinterpret_cast<const DescriptorHeader*>(bytes.get() + step.next));
    EXPECT_EQ(remaining, step.remainingAfter);
  }
  std::uint32_t remaining = 8;
  EXPECT_EQ(Descriptor::getNext(nullptr, remaining), nullptr);
  EXPECT_EQ(remaining, 8u);
}

}  // namespace
}  // namespace QV::QDV2::USB
