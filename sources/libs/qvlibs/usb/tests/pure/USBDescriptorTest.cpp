#include "QV/QDV2/USBDescriptor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <utility>

namespace QV::QDV2::USB {
namespace {

// A descriptor block on the heap with exactly its own size, so that a read
// past its end is caught by the address sanitizer.
class Block {
 public:
  Block(std::initializer_list<std::uint8_t> bytes)
      : m_size(std::uint32_t(bytes.size())), m_bytes(new std::uint8_t[bytes.size()]) {
    std::copy(bytes.begin(), bytes.end(), m_bytes.get());
  }
  const DescriptorHeader* first() const {
    return reinterpret_cast<const DescriptorHeader*>(m_bytes.get());
  }
  const DescriptorHeader* at(std::uint32_t offset) const {
    return reinterpret_cast<const DescriptorHeader*>(m_bytes.get() + offset);
  }
  std::uint32_t size() const { return m_size; }

 private:
  std::uint32_t m_size;
  std::unique_ptr<std::uint8_t[]> m_bytes;
};

// Runs getNext and returns what it printed.
std::string getNextPrinting(const DescriptorHeader* d, std::uint32_t& remaining,
                            const DescriptorHeader*& next) {
  testing::internal::CaptureStdout();
  next = Descriptor::getNext(d, remaining);
  return testing::internal::GetCapturedStdout();
}

TEST(USBDescriptor, WalksAWellFormedBlockSilently) {
  // Configuration, interface and DFU functional descriptors.
  const Block block{9, 2, 27, 0, 1, 1, 0, 0x80, 50,  //
                    9, 4, 0, 0, 0, 0xFE, 1, 2, 0,    //
                    9, 0x21, 0x0B, 0xFF, 0, 0, 4, 0x10, 1};
  std::uint32_t remaining = block.size();
  const DescriptorHeader* next = nullptr;

  EXPECT_EQ(getNextPrinting(block.first(), remaining, next), "");
  EXPECT_EQ(next, block.at(9));
  EXPECT_EQ(remaining, 18u);

  EXPECT_EQ(getNextPrinting(next, remaining, next), "");
  EXPECT_EQ(next, block.at(18));
  EXPECT_EQ(next->bDescriptorType, 0x21);
  EXPECT_EQ(remaining, 9u);

  // The last descriptor ends the walk without complaint.
  EXPECT_EQ(getNextPrinting(next, remaining, next), "");
  EXPECT_EQ(next, nullptr);
  EXPECT_EQ(remaining, 0u);
}

TEST(USBDescriptor, RejectsAStartDescriptorThatDoesNotFit) {
  const Block zeroLength{0, 2, 9, 4};
  const Block pastTheEnd{9, 2, 9, 4};
  const std::pair<const Block*, const char*> cases[] = {
      {&zeroLength, "invalid descriptor size: pStart->bLength = 0, uRemainingSize = 4\n"},
      {&pastTheEnd, "invalid descriptor size: pStart->bLength = 9, uRemainingSize = 4\n"},
  };
  for (const auto& [block, message] : cases) {
    std::uint32_t remaining = block->size();
    const DescriptorHeader* next = block->first();
    EXPECT_EQ(getNextPrinting(block->first(), remaining, next), message);
    EXPECT_EQ(next, nullptr);
    EXPECT_EQ(remaining, 4u);
  }
}

TEST(USBDescriptor, RejectsANextDescriptorThatDoesNotFit) {
  const DescriptorHeader* next = nullptr;
  {
    const Block longNext{2, 2, 9, 4, 0};
    std::uint32_t remaining = longNext.size();
    EXPECT_EQ(getNextPrinting(longNext.first(), remaining, next),
              "invalid descriptor size: pNext->bLength = 9, uRemainingSize = 3\n");
    EXPECT_EQ(next, nullptr);
    EXPECT_EQ(remaining, 0u);
  }
  {
    // One byte left after the first descriptor cannot hold a header.
    const Block trailingByte{2, 2, 1};
    std::uint32_t remaining = trailingByte.size();
    EXPECT_EQ(getNextPrinting(trailingByte.first(), remaining, next), "");
    EXPECT_EQ(next, nullptr);
    EXPECT_EQ(remaining, 0u);
  }
}

TEST(USBDescriptor, BlocksTooShortForAHeaderEndTheWalk) {
  const Block oneByte{1};
  const DescriptorHeader* next = nullptr;
  for (std::uint32_t size : {0u, 1u}) {
    std::uint32_t remaining = size;
    EXPECT_EQ(getNextPrinting(oneByte.first(), remaining, next), "");
    EXPECT_EQ(next, nullptr);
    EXPECT_EQ(remaining, size);
  }
  std::uint32_t remaining = 8;
  EXPECT_EQ(Descriptor::getNext(nullptr, remaining), nullptr);
  EXPECT_EQ(remaining, 8u);
}

}  // namespace
}  // namespace QV::QDV2::USB
