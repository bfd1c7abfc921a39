#include "QV/QDV2/FX2Device.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <vector>

#include "TraceCapture.h"

namespace QV::QDV2 {
namespace {

using test::TraceCapture;

std::vector<long long> s_sleepsMs;

void fakeSleep(std::chrono::milliseconds duration) { s_sleepsMs.push_back(duration.count()); }

// A record in the driver's wire form: 17cc:1352, serial "SN-1", product
// "Keyboard", maker "Maker".
TolvaUSBDeviceInfo::Bytes makeRecord(std::uint16_t release) {
  TolvaUSBDeviceInfo::Bytes bytes{0xCC, 0x17, 0x52, 0x13, 'S', 'N', '-', '1'};
  std::memcpy(&bytes[37], "Keyboard", 8);
  std::memcpy(&bytes[70], "Maker", 5);
  bytes[104] = std::uint8_t(release & 0xFF);
  bytes[105] = std::uint8_t(release >> 8);
  return bytes;
}

// Answers each call with the next scripted reply; the last reply repeats.
class FakeConnection : public FX2Device::Connection {
 public:
  struct Reply {
    std::uint32_t status;
    TolvaUSBDeviceInfo::Bytes bytes;
  };

  FakeConnection(std::initializer_list<Reply> replies) : m_replies(replies) {}

  std::uint32_t callMethod(std::uint32_t selector, void* output, std::size_t& outputSize) override {
    selectors.push_back(selector);
    outputSizes.push_back(outputSize);
    const Reply reply = m_replies.front();
    if (m_replies.size() > 1) {
      m_replies.pop_front();
    }
    if (reply.status == 0) {
      std::memcpy(output, reply.bytes.data(), reply.bytes.size());
      outputSize = reply.bytes.size();
    }
    return reply.status;
  }

  std::vector<std::uint32_t> selectors;
  std::vector<std::size_t> outputSizes;

 private:
  std::deque<Reply> m_replies;
};

class FX2DeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    s_sleepsMs.clear();
    FX2Device::OSImpl::setSleepFunction(&fakeSleep);
  }
  void TearDown() override { FX2Device::OSImpl::setSleepFunction(nullptr); }

  TraceCapture m_trace{1, {"FX2Device"}, true};
};

TEST_F(FX2DeviceTest, RecordWithoutReleaseNumberIsRetriedThreeTimesThenUsed) {
  FakeConnection connection{{0, makeRecord(0)}};
  TolvaUSBDeviceInfo record;
  EXPECT_TRUE(FX2Device::OSImpl::getTolvaUSBDeviceInfo(connection, record));

  EXPECT_EQ(connection.selectors, (std::vector<std::uint32_t>{3, 3, 3, 3}));
  EXPECT_EQ(connection.outputSizes, (std::vector<std::size_t>{110, 110, 110, 110}));
  EXPECT_EQ(s_sleepsMs, (std::vector<long long>{100, 200, 300}));
  EXPECT_EQ(m_trace.stream.str(),
            "FX2Device: IOConnectCallMethod(GetDeviceInfo) timed out -> sleeping for 100 ms\n"
            "FX2Device: IOConnectCallMethod(GetDeviceInfo) timed out -> sleeping for 200 ms\n"
            "FX2Device: IOConnectCallMethod(GetDeviceInfo) timed out -> sleeping for 300 ms\n"
            "FX2Device: IOConnectCallMethod(GetDeviceInfo) timed out 3 times -> gave up\n");
  EXPECT_EQ(record.vendorId, 0x17CC);
  EXPECT_EQ(record.releaseNumber, 0);
}

TEST_F(FX2DeviceTest, RetriesStopAtTheReleaseNumberOrAtAFailingCall) {
  struct Case {
    std::initializer_list<FakeConnection::Reply> replies;
    bool result;
    std::size_t calls;
    const char* trace;
  };
  const Case cases[] = {
      {{{0, makeRecord(0)}, {0, makeRecord(0x0145)}}, true, 2,
       "FX2Device: IOConnectCallMethod(GetDeviceInfo) timed out -> sleeping for 100 ms\n"},
      {{{0xE00002BC, {}}}, false, 1, "FX2Device: IOConnectCallMethod(GetDeviceInfo) failed with 0xe00002bc\n"},
      {{{0, makeRecord(0)}, {0xE00002D8, {}}}, false, 2,
       "FX2Device: IOConnectCallMethod(GetDeviceInfo) timed out -> sleeping for 100 ms\n"
       "FX2Device: IOConnectCallMethod(GetDeviceInfo) failed with 0xe00002d8\n"},
  };
  for (const Case& c : cases) {
    m_trace.stream.str("");
    FakeConnection connection(c.replies);
    TolvaUSBDeviceInfo record;
    EXPECT_EQ(FX2Device::OSImpl::getTolvaUSBDeviceInfo(connection, record), c.result);
    EXPECT_EQ(connection.selectors.size(), c.calls);
    EXPECT_EQ(m_trace.stream.str(), c.trace);
    if (c.result) {  // the record as the driver wrote it at last
      EXPECT_EQ(record.productId, 0x1352);
      EXPECT_EQ(record.releaseNumber, 0x0145);
      EXPECT_EQ(record.serialNumber, "SN-1");
      EXPECT_EQ(record.productName, "Keyboard");
      EXPECT_EQ(record.manufacturer, "Maker");
    }
  }
}

TEST(TolvaUSBDeviceInfo, TextsWithoutTerminatorEndAtTheirField) {
  TolvaUSBDeviceInfo::Bytes bytes{};
  std::memset(&bytes[4], 'S', 33);
  std::memset(&bytes[37], 'P', 33);
  std::memset(&bytes[70], 'M', 34);
  bytes[104] = 0x34;
  bytes[105] = 0x12;
  std::memset(&bytes[106], 'X', 4);

  const TolvaUSBDeviceInfo record = TolvaUSBDeviceInfo::fromBytes(bytes);
  EXPECT_EQ(record.serialNumber, std::string(33, 'S'));
  EXPECT_EQ(record.productName, std::string(33, 'P'));
  EXPECT_EQ(record.manufacturer, std::string(34, 'M'));
  EXPECT_EQ(record.releaseNumber, 0x1234);
}

}  // namespace
}  // namespace QV::QDV2
