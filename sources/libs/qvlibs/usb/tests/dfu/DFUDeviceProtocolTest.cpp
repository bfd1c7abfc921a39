// The DFU download and the keyboards' vendor requests, against a transport
// that answers from a script. Sleeps are recorded, not slept, and the device's
// clock is the transport's, which sleeps and requests move on, so every case
// checks the exact requests and waits and takes no real time.
#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "QV/QDV2/DFUDevice.h"
#include "QV/QDV2/Logging.h"
#include "QV/QDV2/USBDeviceOSImpl.h"
#include "../pure/TraceCapture.h"

namespace QV::QDV2 {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

constexpr USBDevice::Status kPipeStalled = 0xE000404F;
constexpr USBDevice::Status kNoSuchDevice = 0xE00002C0;
constexpr std::uint16_t kInterface = 1;

// One reply of the scripted device.
struct Reply {
  USBDevice::Status status = 0;
  Bytes data;  // IN: the bytes returned
};

Reply stall() { return {kPipeStalled, {}}; }
Reply statusReply(std::uint8_t bStatus, std::uint32_t pollMs, std::uint8_t bState) {
  return {0, {bStatus, std::uint8_t(pollMs), std::uint8_t(pollMs >> 8), std::uint8_t(pollMs >> 16), bState, 0}};
}
Reply stateReply(std::uint8_t state) { return {0, {state}}; }

// A platform part whose device answers each bRequest first from its queue,
// then with its standing reply; OUT requests without either succeed and IN
// requests stall. Every request is recorded with the bytes it carried.
class ScriptedTransport : public USBDevice::OSImpl {
 public:
  static constexpr USBDevice::Status kTransactionTimedOut = 0xE0004051;
  using OSImpl::getDeviceInfo;

  bool connect(USBDeviceOSHandle) override { return m_open = true; }
  void disconnect() override { m_open = false; }
  bool getDeviceInfo(USBDeviceInfo& info) override {
    info = deviceInfo;
    return true;
  }
  const std::uint8_t* getConfigurationDescriptor(std::uint32_t& size) override {
    // An allocation of exactly the descriptor's size, so that a read past it
    // is caught by the address sanitizer.
    m_descriptor.reset(configuration.empty() ? nullptr : new std::uint8_t[configuration.size()]);
    std::copy(configuration.begin(), configuration.end(), m_descriptor.get());
    size = std::uint32_t(configuration.size());
    return m_descriptor.get();
  }

  USBDevice::Status controlTransfer(USBDevice::Request& r) override {
    char fields[32];
    std::snprintf(fields, sizeof fields, "%02x %02x %04x %04x %04x", r.bmRequestType, r.bRequest,
                  r.wValue, r.wIndex, r.wLength);
    const bool in = (r.bmRequestType & 0x80) != 0;
    const auto* bytes = static_cast<const std::uint8_t*>(r.data);
    // As the platform does, a request whose time is up is not sent.
    if (wait().deadline <= std::chrono::steady_clock::now()) return kTransactionTimedOut;
    now += requestTime;
    requests.push_back(fields);
    if (!in && r.wLength != 0) written[r.bRequest].insert(written[r.bRequest].end(), bytes, bytes + r.wLength);
    if (!m_open) {
      return USBDevice::kStatusNotConnected;
    }

    Reply reply = in ? stall() : Reply{};
    if (auto q = queued.find(r.bRequest); q != queued.end() && !q->second.empty()) {
      reply = q->second.front();
      q->second.pop_front();
    } else if (auto s = standing.find(r.bRequest); s != standing.end()) {
      reply = s->second;
    }
    if (reply.status != 0) {
      return reply.status;
    }
    const std::size_t n = in ? std::min<std::size_t>(reply.data.size(), r.wLength) : r.wLength;
    if (in) {
      std::copy_n(reply.data.begin(), n, static_cast<std::uint8_t*>(r.data));
    }
    r.bytesTransferred = std::uint32_t(n);
    // As a platform does while a request is in flight, here once the device
    // has answered it; a batch does so once, at its end.
    if (!m_inBatch && wait().interruptionPoint) wait().interruptionPoint();
    return 0;
  }

  // Records each batch's size, and whether another thread (the main thread
  // during an update) could have taken the device lock while it ran.
  void controlTransfers(std::span<USBDevice::Request> batch, std::span<USBDevice::Status> statuses) override {
    batches.push_back(batch.size());
    batchesUnderLock.push_back(std::async(std::launch::async, [this] {
                                 const bool taken = mutex().try_lock();
                                 if (taken) mutex().unlock();
                                 return !taken;
                               }).get());
    m_inBatch = true;
    OSImpl::controlTransfers(batch, statuses);
    m_inBatch = false;
    // As a platform does while the batch is in flight, here once the device
    // has answered it all.
    if (wait().interruptionPoint) wait().interruptionPoint();
  }

  std::uint32_t maxControlTransferLength() const override { return maxTransfer; }

  void forget() {
    requests.clear();
    written.clear();
    batches.clear();
    batchesUnderLock.clear();
  }

  USBDeviceInfo deviceInfo{0x17CC, 0x1352, 69, "Maker", "Keyboard 49", "SER0001"};
  Bytes configuration;
  std::map<std::uint8_t, std::deque<Reply>> queued;
  std::map<std::uint8_t, Reply> standing;
  std::vector<std::string> requests;  // "bmRequestType bRequest wValue wIndex wLength"
  std::map<std::uint8_t, Bytes> written;  // the bytes of the OUT requests, by bRequest
  std::vector<std::size_t> batches;       // how many requests each controlTransfers call carried
  std::vector<bool> batchesUnderLock;
  std::uint32_t maxTransfer = 0xFFFF;     // the platform's largest control transfer
  std::chrono::steady_clock::time_point now{};  // the device's clock
  std::chrono::nanoseconds requestTime{0};      // how long each request takes

 private:
  bool m_open = false;
  bool m_inBatch = false;
  std::unique_ptr<std::uint8_t[]> m_descriptor;
};

struct ScriptedDFUDevice : DFUDevice {
  explicit ScriptedDFUDevice(ScriptedTransport* transport) : DFUDevice(transport) {}
};

// Descriptor builders.
Bytes interfaceDescriptor(std::uint8_t number, std::uint8_t cls, std::uint8_t subClass,
                          std::uint8_t protocol, std::uint8_t alternate = 0) {
  return {9, 4, number, alternate, 0, cls, subClass, protocol, 0};
}
Bytes dfuInterface(std::uint8_t number, std::uint8_t protocol, std::uint8_t alternate = 0) {
  return interfaceDescriptor(number, 0xFE, 1, protocol, alternate);
}
Bytes functionalDescriptor(std::uint8_t attributes, std::uint16_t detachTimeOut,
                           std::uint16_t transferSize, std::uint8_t length = 9) {
  Bytes d{length, 0x21, attributes, std::uint8_t(detachTimeOut), std::uint8_t(detachTimeOut >> 8),
          std::uint8_t(transferSize), std::uint8_t(transferSize >> 8), 0x10, 0x01};
  d.resize(length);
  return d;
}
Bytes configurationDescriptor(std::initializer_list<Bytes> parts) {
  Bytes d{9, 2, 0, 0, std::uint8_t(parts.size()), 1, 0, 0x80, 50};
  for (const Bytes& p : parts) d.insert(d.end(), p.begin(), p.end());
  d[2] = std::uint8_t(d.size());
  d[3] = std::uint8_t(d.size() >> 8);
  return d;
}

// The keyboard in normal mode: a HID interface (whose HID descriptor has the
// same type as a DFU functional descriptor) and the DFU run-time interface.
Bytes runTimeConfiguration(std::uint8_t attributes = 0x0B) {
  return configurationDescriptor({interfaceDescriptor(0, 3, 0, 0),
                                  {9, 0x21, 0x11, 0x01, 0, 1, 0x22, 0x40, 0},
                                  {7, 5, 0x81, 3, 8, 0, 10},
                                  dfuInterface(kInterface, 1),
                                  functionalDescriptor(attributes, 1000, 256)});
}

std::string request(std::uint8_t type, std::uint8_t req, std::uint16_t value, std::uint16_t index,
                    std::uint16_t length) {
  char fields[32];
  std::snprintf(fields, sizeof fields, "%02x %02x %04x %04x %04x", type, req, value, index, length);
  return fields;
}
std::string dnload(std::uint16_t block, std::uint16_t length) { return request(0x21, 1, block, kInterface, length); }
const std::string kGetStatus = request(0xA1, 3, 0, kInterface, 6);
const std::string kGetState = request(0xA1, 5, 0, kInterface, 1);

Bytes testImage(std::size_t size) {
  Bytes image(size);
  for (std::size_t i = 0; i < size; ++i) image[i] = std::uint8_t(i * 7 + i / 251);
  return image;
}

class DFUDeviceProtocolTest : public ::testing::Test {
 protected:
  DFUDeviceProtocolTest() : transport(new ScriptedTransport), device(transport) {
    recordSleeps();
    device.setClockFunction([this] { return transport->now; });
  }

  void recordSleeps() {
    device.setSleepFunction([this](std::chrono::nanoseconds d) {
      sleeps.push_back(d);
      transport->now += d;
    });
  }

  // Connects to a keyboard in update mode with the given attributes and
  // transfer size; the device takes every block at once and ends
  // manifestation waiting for its reset.
  void connectInDFUMode(std::uint16_t transferSize = 256, std::uint8_t attributes = 0x0B,
                        std::uint16_t detachTimeOut = 1000) {
    transport->configuration = configurationDescriptor(
        {dfuInterface(kInterface, 2), functionalDescriptor(attributes, detachTimeOut, transferSize)});
    ASSERT_TRUE(device.connect(1));
    ASSERT_EQ(device.mode(), DFUDevice::kModeDFU);
    transport->standing[DFU::DFU_GETSTATUS] = statusReply(DFU::OK, 0, DFU::dfuDNLOAD_IDLE);
    transport->standing[DFU::DFU_GETSTATE] = stateReply(DFU::dfuMANIFEST_WAIT_RESET);
    // Asked before the first block, the device is idle.
    transport->queued.clear();
    transport->queued[DFU::DFU_GETSTATUS] = {statusReply(DFU::OK, 0, DFU::dfuIDLE)};
    transport->forget();
  }

  // Replies to the status requests after the one before the first block.
  void thenStatus(std::initializer_list<Reply> replies) {
    auto& queue = transport->queued[DFU::DFU_GETSTATUS];
    queue.insert(queue.end(), replies);
  }

  // The requests of a download of `size` bytes to an idle device whose blocks
  // were all taken at the first poll, up to and including the end-of-data block, which carries
  // the number of full blocks (so a remainder block and it share a number).
  static std::vector<std::string> blockRequests(std::uint32_t size, std::uint16_t transferSize) {
    std::vector<std::string> expected{kGetStatus};
    std::uint16_t block = 0;
    for (std::uint32_t offset = 0; offset < size; offset += transferSize, ++block) {
      expected.push_back(dnload(block, std::uint16_t(std::min<std::uint32_t>(transferSize, size - offset))));
      expected.push_back(kGetStatus);
    }
    expected.push_back(dnload(std::uint16_t(size / transferSize), 0));
    return expected;
  }

  ScriptedTransport* transport;
  ScriptedDFUDevice device;
  std::vector<std::chrono::nanoseconds> sleeps;
  DFU::GetStatus status;
};

TEST_F(DFUDeviceProtocolTest, QueryDFUInfoReadsTheInterfaceOfEitherMode) {
  struct Case {
    Bytes configuration;
    std::uint8_t mode, interfaceNumber, attributes;
    std::uint16_t detachTimeOut, transferSize;
  };
  const Case cases[] = {
      {runTimeConfiguration(), DFUDevice::kModeRunTime, kInterface, 0x0B, 1000, 256},
      {configurationDescriptor({dfuInterface(0, 2), functionalDescriptor(0x07, 0x1234, 2048)}),
       DFUDevice::kModeDFU, 0, 0x07, 0x1234, 2048},
      // The first DFU revision had no protocol numbers: the loader's interface is 0.
      {configurationDescriptor({dfuInterface(0, 0), functionalDescriptor(0, 0, 64, 7)}), DFUDevice::kModeDFU, 0, 0, 0, 64},
      {configurationDescriptor({dfuInterface(3, 0), functionalDescriptor(0, 0, 64, 7)}), DFUDevice::kModeRunTime, 3, 0, 0, 64},
      // With several alternate settings the functional descriptor follows the last.
      {configurationDescriptor({dfuInterface(2, 2, 0), dfuInterface(2, 2, 1), functionalDescriptor(0x04, 0, 512)}),
       DFUDevice::kModeDFU, 2, 0x04, 0, 512},
  };
  for (const Case& c : cases) {
    transport->configuration = c.configuration;
    EXPECT_TRUE(device.connect(1));
    EXPECT_EQ(device.mode(), c.mode);
    EXPECT_EQ(device.interfaceNumber(), c.interfaceNumber);
    EXPECT_EQ(device.bmAttributes(), c.attributes);
    EXPECT_EQ(device.wDetachTimeOut(), c.detachTimeOut);
    EXPECT_EQ(device.wTransferSize(), c.transferSize);
  }
}

TEST_F(DFUDeviceProtocolTest, QueryDFUInfoLeavesNothingOfAnEarlierDeviceAndNeverReadsPastTheBlock) {
  Bytes tooLong = runTimeConfiguration();
  tooLong[9 + 9] = 200;  // the HID descriptor claims more than the block holds
  Bytes zero = runTimeConfiguration();
  zero[9] = 0;
  Bytes cut = runTimeConfiguration();
  cut.resize(cut.size() - 4);  // the functional descriptor runs past the end
  Bytes trailing = configurationDescriptor({interfaceDescriptor(0, 3, 0, 0)});
  trailing.push_back(9);
  const std::pair<Bytes, bool> cases[] = {
      // Well formed, but without a usable DFU interface: read, mode 0.
      {configurationDescriptor({dfuInterface(1, 1), functionalDescriptor(0x0B, 1000, 256, 6)}), true},
      {configurationDescriptor({dfuInterface(1, 3), functionalDescriptor(0x0B, 1000, 256)}), true},
      {configurationDescriptor({interfaceDescriptor(1, 0xFE, 2, 1), functionalDescriptor(0x0B, 1000, 256)}), true},
      {configurationDescriptor({dfuInterface(1, 1)}), true},
      {configurationDescriptor({interfaceDescriptor(0, 3, 0, 0)}), true},
      // Lengths that lie, or no descriptor at all.
      {tooLong, false}, {zero, false}, {cut, false}, {trailing, false},
      {Bytes{200}, false}, {Bytes{9, 2, 40, 0}, false}, {Bytes{}, false},
  };
  for (const auto& [configuration, readable] : cases) {
    transport->configuration = runTimeConfiguration();
    ASSERT_TRUE(device.connect(1));
    transport->configuration = configuration;
    EXPECT_FALSE(device.connect(1));
    EXPECT_TRUE(device.isConnected());
    EXPECT_EQ(device.queryDFUInfo(), readable);
    EXPECT_EQ(device.mode(), DFUDevice::kModeNone);
    EXPECT_EQ(device.interfaceNumber(), 0);
    EXPECT_EQ(device.wTransferSize(), 0);
  }
}

TEST_F(DFUDeviceProtocolTest, WriteImageRefusesWhatItCannotSend) {
  const Bytes image = testImage(1000);
  transport->configuration = runTimeConfiguration();
  ASSERT_TRUE(device.connect(1));
  EXPECT_FALSE(device.writeImage(image.data(), 1000, status));
  EXPECT_EQ(status.bStatus, DFUDevice::kWriteImageNotInDFUMode);

  connectInDFUMode();
  EXPECT_FALSE(device.writeImage(nullptr, 1000, status));
  EXPECT_EQ(status.bStatus, DFUDevice::kWriteImageNoImage);
  EXPECT_FALSE(device.writeImage(image.data(), 0, status));
  EXPECT_EQ(status.bStatus, DFUDevice::kWriteImageNoImage);

  test::TraceCapture trace(2, {}, false);
  for (std::uint16_t transferSize : {0, 8192}) {
    connectInDFUMode(transferSize);
    EXPECT_FALSE(device.writeImage(image.data(), 1000, status));
    EXPECT_EQ(status.bStatus, DFU::errUNKNOWN);
  }
  EXPECT_TRUE(transport->requests.empty());
  ASSERT_EQ(trace.systemLog.size(), 2u);
  EXPECT_EQ(trace.systemLog[0].second, "DFUDevice: Unsupported wTransferSize (0)\n");
  EXPECT_EQ(trace.systemLog[1].second, "DFUDevice: Unsupported wTransferSize (8192)\n");
}

// A keyboard may announce blocks larger than the platform carries in one
// control transfer (Linux: 4096 bytes); the blocks are then cut to what it
// carries, and numbered by their own size.
TEST_F(DFUDeviceProtocolTest, WriteImageSendsBlocksRemainderAndEndOfData) {
  struct Case {
    std::uint32_t size;
    std::uint16_t transferSize;
    std::uint32_t platformLimit, blockSize;
  };
  for (Case c : {Case{100, 256, 0xFFFF, 256}, Case{768, 256, 0xFFFF, 256}, Case{600, 256, 0xFFFF, 256},
                 Case{8191, 8191, 0xFFFF, 8191}, Case{94720, 2048, 0xFFFF, 2048}, Case{10000, 4097, 4096, 4096},
                 Case{94720, 8191, 4096, 4096}, Case{8192, 8191, 4096, 4096}, Case{5000, 2048, 4096, 2048}}) {
    SCOPED_TRACE(std::to_string(c.size) + " bytes in blocks of " + std::to_string(c.transferSize));
    transport->maxTransfer = c.platformLimit;
    connectInDFUMode(c.transferSize);
    const Bytes image = testImage(c.size);
    EXPECT_TRUE(device.writeImage(image.data(), c.size, status));
    std::vector<std::string> expected = blockRequests(c.size, c.blockSize);
    expected.push_back(kGetState);
    EXPECT_EQ(transport->requests, expected);
    // Every block travels with its first status request, both under the
    // device lock, so that no request of another thread comes in between.
    const std::size_t blocks = (c.size + c.blockSize - 1) / c.blockSize;
    EXPECT_EQ(transport->batches, std::vector<std::size_t>(blocks, 2));
    EXPECT_EQ(transport->batchesUnderLock, std::vector<bool>(blocks, true));
    EXPECT_EQ(transport->written[DFU::DFU_DNLOAD], image);
    EXPECT_EQ(status.bStatus, DFU::OK);
    EXPECT_EQ(status.bState, DFU::dfuMANIFEST_WAIT_RESET);
  }
  EXPECT_TRUE(sleeps.empty());
}

TEST_F(DFUDeviceProtocolTest, WriteImageWaitsForABusyDeviceAtMostOneSecondAtATimeAndNotForEver) {
  connectInDFUMode();
  thenStatus({statusReply(DFU::OK, 5000, DFU::dfuDNBUSY), statusReply(DFU::OK, 0, DFU::dfuDNBUSY),
              statusReply(DFU::OK, 20, DFU::dfuDNBUSY), statusReply(DFU::OK, 0, DFU::dfuDNLOAD_IDLE)});
  const Bytes image = testImage(256);
  EXPECT_TRUE(device.writeImage(image.data(), 256, status));
  EXPECT_EQ(transport->requests, (std::vector<std::string>{kGetStatus, dnload(0, 256), kGetStatus, kGetStatus,
                                                           kGetStatus, kGetStatus, dnload(1, 0), kGetState}));
  EXPECT_EQ(sleeps, (std::vector<std::chrono::nanoseconds>{1000ms, 20ms}));

  // A device that stays busy is given up on ten seconds after its block was
  // sent, the time its requests take included, or, where the clock does not
  // move, after a number of polls.
  struct Case {
    std::uint32_t pollMs;
    std::chrono::milliseconds requestTime;
    std::size_t sleeps, polls;
  };
  for (Case c : {Case{1000, 0ms, 10, 11}, Case{0, 0ms, 0, 10000}, Case{0, 2ms, 0, 5000}, Case{1, 1ms, 4999, 5000}}) {
    SCOPED_TRACE("poll timeout " + std::to_string(c.pollMs) + " ms, requests of " +
                 std::to_string(c.requestTime.count()) + " ms");
    connectInDFUMode();
    sleeps.clear();
    transport->requestTime = c.requestTime;
    transport->standing[DFU::DFU_GETSTATUS] = statusReply(DFU::OK, c.pollMs, DFU::dfuDNBUSY);
    EXPECT_FALSE(device.writeImage(image.data(), 100, status));
    EXPECT_EQ(status.bStatus, DFU::errUNKNOWN);
    EXPECT_EQ(sleeps, std::vector<std::chrono::nanoseconds>(c.sleeps, std::chrono::milliseconds(c.pollMs)));
    EXPECT_EQ(transport->requests.size(), 2u + c.polls);
    // Given up on while it says it is busy, it is not sent back to normal mode.
    EXPECT_TRUE(device.saysBusy());
    transport->forget();
    EXPECT_FALSE(device.returnToAPPMode());
    EXPECT_TRUE(transport->requests.empty());
  }
}

TEST_F(DFUDeviceProtocolTest, WriteImageStopsAtTheFirstFault) {
  const Bytes image = testImage(1000);
  struct Case {
    const char* name;
    std::uint8_t bRequest;
    Reply reply;
    std::vector<std::string> requests;
    std::uint8_t bStatus;
    std::uint8_t bState;
    Reply withBlock = statusReply(DFU::OK, 0, DFU::dfuDNLOAD_IDLE);  // the answer to the block's status request
    bool busy = false;  // left saying it is busy
  };
  const Case cases[] = {
      {"dfuDNLOAD-SYNC", DFU::DFU_GETSTATUS, statusReply(DFU::OK, 0, DFU::dfuDNLOAD_SYNC), {kGetStatus, dnload(0, 256), kGetStatus}, DFU::OK, DFU::dfuDNLOAD_SYNC},
      {"errWRITE", DFU::DFU_GETSTATUS, statusReply(DFU::errWRITE, 0, DFU::dfuERROR), {kGetStatus, dnload(0, 256), kGetStatus}, DFU::errWRITE, DFU::dfuERROR},
      // The first status request goes with the block, whatever becomes of it.
      {"stalled DNLOAD", DFU::DFU_DNLOAD, stall(), {kGetStatus, dnload(0, 256), kGetStatus}, DFU::errUNKNOWN, DFU::dfuIDLE},
      {"device gone", DFU::DFU_DNLOAD, {kNoSuchDevice, {}}, {kGetStatus, dnload(0, 256), kGetStatus}, DFU::errUNKNOWN, DFU::dfuIDLE},
      // Refused, but answered busy: what the device says of itself holds.
      {"stalled DNLOAD, busy", DFU::DFU_DNLOAD, stall(), {kGetStatus, dnload(0, 256), kGetStatus}, DFU::errUNKNOWN, DFU::dfuIDLE,
       statusReply(DFU::OK, 500, DFU::dfuDNBUSY), true},
      {"short GETSTATUS", DFU::DFU_GETSTATUS, {0, {0, 0, 0}}, {kGetStatus, dnload(0, 256), kGetStatus}, DFU::errUNKNOWN, DFU::dfuERROR},
      {"stalled GETSTATUS", DFU::DFU_GETSTATUS, stall(), {kGetStatus, dnload(0, 256), kGetStatus}, DFU::errUNKNOWN, DFU::dfuERROR},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    connectInDFUMode();
    transport->standing[DFU::DFU_GETSTATUS] = c.withBlock;
    transport->standing[c.bRequest] = c.reply;
    EXPECT_FALSE(device.writeImage(image.data(), 1000, status));
    EXPECT_EQ(transport->requests, c.requests);
    EXPECT_EQ(status.bStatus, c.bStatus);
    EXPECT_EQ(status.bState, c.bState);
    EXPECT_EQ(device.saysBusy(), c.busy);
    transport->standing.clear();
  }

  // The end-of-data request is the program's own verdict when it fails.
  connectInDFUMode();
  transport->queued[DFU::DFU_DNLOAD] = {Reply{}, stall()};
  EXPECT_FALSE(device.writeImage(image.data(), 100, status));
  EXPECT_EQ(transport->requests, (std::vector<std::string>{kGetStatus, dnload(0, 100), kGetStatus, dnload(0, 0)}));
  EXPECT_EQ(status.bStatus, DFU::errUNKNOWN);
}

// A device left half-way by an earlier download, or in dfuERROR by one that
// failed, is brought to dfuIDLE before the first block: DFU_CLRSTATUS leaves
// dfuERROR (DFU_ABORT would be refused there, and a refused one leads there),
// DFU_ABORT ends a download in progress. A device still at work on a block or
// manifestation an earlier attempt left it with is asked nothing but its
// status, as the download asks it, until it is done or has been busy for
// longer than the download gives that work.
TEST_F(DFUDeviceProtocolTest, WriteImageBringsTheDeviceToIdleBeforeTheFirstBlock) {
  const std::string clrStatus = request(0x21, 4, 0, kInterface, 0);
  const std::string abort = request(0x21, 6, 0, kInterface, 0);
  const Reply idle = statusReply(DFU::OK, 0, DFU::dfuIDLE);
  const Reply taken = statusReply(DFU::OK, 0, DFU::dfuDNLOAD_IDLE);
  const Reply writing = statusReply(DFU::OK, 1000, DFU::dfuDNBUSY);
  const Reply manifesting = statusReply(DFU::OK, 1000, DFU::dfuMANIFEST);
  // `n` times `what`, then `rest`.
  auto times = []<typename T>(std::size_t n, const T& what, std::vector<T> rest = {}) {
    std::vector<T> all(n, what);
    all.insert(all.end(), rest.begin(), rest.end());
    return all;
  };
  using Sleeps = std::vector<std::chrono::nanoseconds>;
  struct Case {
    const char* name;
    std::vector<Reply> replies;  // to the status requests before the first block
    std::map<std::uint8_t, Reply> refused;
    std::vector<std::string> requests;  // before the first block
    bool downloads;
    Sleeps sleeps;
    std::uint16_t detachTimeOut = 1000;
  };
  const Case cases[] = {
      {"dfuERROR", {statusReply(DFU::errWRITE, 0, DFU::dfuERROR), idle}, {}, {kGetStatus, clrStatus, kGetStatus}, true, {}},
      {"dfuDNLOAD-IDLE", {taken, idle}, {}, {kGetStatus, abort, kGetStatus}, true, {}},
      {"dfuDNBUSY", {statusReply(DFU::OK, 30, DFU::dfuDNBUSY), taken, idle}, {},
       {kGetStatus, kGetStatus, abort, kGetStatus}, true, {30ms}},
      {"dfuMANIFEST", {statusReply(DFU::OK, 30, DFU::dfuMANIFEST), idle}, {}, {kGetStatus, kGetStatus}, true, {30ms}},
      {"an error that stays", {statusReply(DFU::errWRITE, 0, DFU::dfuERROR), statusReply(DFU::errWRITE, 0, DFU::dfuERROR)}, {},
       {kGetStatus, clrStatus, kGetStatus}, false, {}},
      {"a refused DFU_ABORT", {statusReply(DFU::OK, 0, DFU::dfuMANIFEST_SYNC), statusReply(DFU::OK, 0, DFU::dfuMANIFEST_SYNC)},
       {{DFU::DFU_ABORT, stall()}}, {kGetStatus, abort, kGetStatus}, false, {}},
      // Slow, but within the time the download gives a block or
      // manifestation: let finish, whatever it announces.
      {"writing a block for 3 s", times(3, writing, {taken, idle}), {}, times(4, kGetStatus, {abort, kGetStatus}), true,
       Sleeps(3, 1s)},
      {"writing a block for 8 s", times(8, writing, {taken, idle}), {}, times(9, kGetStatus, {abort, kGetStatus}), true,
       Sleeps(8, 1s)},
      {"manifesting for 8 s", times(8, manifesting, {idle}), {}, times(9, kGetStatus), true, Sleeps(8, 1s)},
      {"manifesting for 12 s with a detach timeout of 15 s", times(12, manifesting, {idle}), {}, times(13, kGetStatus),
       true, Sleeps(12, 1s), 15000},
      // Still busy after that: stuck, and cleared once its last time is
      // over, as it takes it.
      {"stuck writing a block", times(11, writing, {idle}), {}, times(11, kGetStatus, {abort, kGetStatus}), true,
       Sleeps(11, 1s)},
      {"stuck manifesting", times(11, manifesting, {idle}), {}, times(11, kGetStatus, {abort, kGetStatus}), true,
       Sleeps(11, 1s)},
      {"stuck manifesting with a detach timeout of 15 s", times(16, manifesting, {idle}), {},
       times(16, kGetStatus, {abort, kGetStatus}), true, Sleeps(16, 1s), 15000},
      {"stuck, refusing DFU_ABORT", times(11, writing, {statusReply(DFU::errSTALLEDPKT, 0, DFU::dfuERROR), idle}),
       {{DFU::DFU_ABORT, stall()}}, times(11, kGetStatus, {abort, kGetStatus, clrStatus, kGetStatus}), true,
       Sleeps(11, 1s)},
      // Once it has had its time, a device busy again is left as it is.
      {"busy again once cleared", {taken, statusReply(DFU::OK, 0, DFU::dfuDNBUSY)}, {}, {kGetStatus, abort, kGetStatus},
       false, {}},
      {"no status", {stall()}, {}, {kGetStatus}, false, {}},
      {"no status while busy", {writing, writing, stall()}, {}, {kGetStatus, kGetStatus, kGetStatus}, false, {1s, 1s}},
  };
  const Bytes image = testImage(100);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    connectInDFUMode(256, 0x0B, c.detachTimeOut);
    sleeps.clear();
    transport->queued[DFU::DFU_GETSTATUS].assign(c.replies.begin(), c.replies.end());
    for (const auto& [bRequest, reply] : c.refused) transport->standing[bRequest] = reply;
    EXPECT_EQ(device.writeImage(image.data(), 100, status), c.downloads);
    std::vector<std::string> expected = c.requests;
    if (c.downloads) {
      const std::vector<std::string> blocks = blockRequests(100, 256);
      expected.insert(expected.end(), blocks.begin() + 1, blocks.end());
      expected.push_back(kGetState);
    } else {
      EXPECT_NE(status.bStatus, DFU::OK);
    }
    EXPECT_EQ(transport->requests, expected);
    EXPECT_EQ(sleeps, c.sleeps);
    transport->standing.erase(DFU::DFU_ABORT);
  }
}

// A wait cut short (the worker interrupted in it) is waited out before the
// device is asked anything: it takes no request while it writes a block. So is
// the longest wait a device may ask for, when a block and its status request
// were cut short in flight, unseen. A device still busy after that is given
// the patience asked for, from the start, and is never asked before the time
// it announced.
TEST_F(DFUDeviceProtocolTest, AnInterruptedBusyWaitIsWaitedOutBeforeTheDeviceIsAskedAgain) {
  struct Interrupted {};
  struct Case {
    const char* name;
    std::vector<Reply> replies;  // to the status requests after the interruption
    std::chrono::milliseconds requestTime;
    bool idle;
    std::vector<std::chrono::nanoseconds> sleeps;
    std::vector<std::string> requests;
    // Cut short in flight, rather than in the wait after the block: the
    // request of this number (the block's batch ends with the third).
    std::size_t inFlight = 0;
    std::chrono::milliseconds patience = 2s;
  };
  const Reply busyWithoutWait = statusReply(DFU::OK, 0, DFU::dfuDNBUSY);
  const Reply busyForASecond = statusReply(DFU::OK, 1000, DFU::dfuDNBUSY);
  const Case cases[] = {
      {"the block is taken", {statusReply(DFU::OK, 0, DFU::dfuDNLOAD_IDLE), statusReply(DFU::OK, 0, DFU::dfuIDLE)},
       0ms, true, {500ms}, {kGetStatus, request(0x21, 6, 0, kInterface, 0), kGetStatus}},
      {"busy without a wait", std::vector<Reply>(1000, busyWithoutWait), 2ms, false, {500ms},
       std::vector<std::string>(750, kGetStatus)},
      {"busy a second at a time", std::vector<Reply>(10, busyForASecond), 0ms, false, {500ms, 1000ms},
       {kGetStatus, kGetStatus}},
      {"cut short in flight", {statusReply(DFU::OK, 0, DFU::dfuDNLOAD_IDLE), statusReply(DFU::OK, 0, DFU::dfuIDLE)},
       0ms, true, {1000ms}, {kGetStatus, request(0x21, 6, 0, kInterface, 0), kGetStatus}, 3},
      {"a status request cut short in flight", {statusReply(DFU::OK, 0, DFU::dfuDNLOAD_IDLE), statusReply(DFU::OK, 0, DFU::dfuIDLE)},
       0ms, true, {1000ms}, {kGetStatus, request(0x21, 6, 0, kInterface, 0), kGetStatus}, 4},
      {"cut short in flight, with a quit's patience", {statusReply(DFU::OK, 0, DFU::dfuDNLOAD_IDLE), statusReply(DFU::OK, 0, DFU::dfuIDLE)},
       0ms, true, {1000ms}, {kGetStatus, request(0x21, 6, 0, kInterface, 0), kGetStatus}, 3, 1s},
  };
  const Bytes image = testImage(256);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    connectInDFUMode();
    thenStatus({statusReply(DFU::OK, 500, DFU::dfuDNBUSY)});
    if (c.inFlight != 0) {
      device.setInterruptionPoint([this, &c] {
        if (transport->requests.size() >= c.inFlight) throw Interrupted{};
      });
    } else {
      device.setSleepFunction([](std::chrono::nanoseconds) { throw Interrupted{}; });
    }
    EXPECT_THROW(device.writeImage(image.data(), 256, status), Interrupted);
    device.setInterruptionPoint({});
    recordSleeps();
    sleeps.clear();
    transport->forget();
    transport->requestTime = c.requestTime;
    transport->queued[DFU::DFU_GETSTATUS].assign(c.replies.begin(), c.replies.end());
    EXPECT_EQ(device.bringToIdle(status, c.patience), c.idle);
    EXPECT_EQ(sleeps, c.sleeps);
    EXPECT_EQ(transport->requests, c.requests);
    EXPECT_EQ(status.bStatus == DFU::OK, c.idle);
  }
}

// A device that says it is busy (writing a block, or manifesting) stalls any
// request but the status request, and that one too before the time it
// announced, and is then left in dfuERROR: such requests fail without
// reaching it, until it answers that it is busy no longer.
TEST_F(DFUDeviceProtocolTest, ABusyDeviceIsSentOnlyTheStatusRequestAndNotBeforeItsTime) {
  std::uint32_t version = 0;
  std::uint8_t state = 0;
  struct Case {
    const char* name;
    Reply answer;
    std::chrono::milliseconds after;
    std::function<bool()> send;
    std::string request;
    bool sent;
  };
  const Reply busy = statusReply(DFU::OK, 500, DFU::dfuDNBUSY);
  const std::string detach = request(0x21, 0, 1000, kInterface, 0);
  auto leave = [&] { return device.returnToAPPMode(); };
  auto ask = [&] { return device.getDFUStatus(status); };
  const Case cases[] = {
      {"the return to normal mode", busy, 2s, leave, detach, false},
      {"DFU_CLRSTATUS", busy, 2s, [&] { return device.sendDFUClrStatus(); }, request(0x21, 4, 0, kInterface, 0), false},
      {"a vendor request", busy, 2s, [&] { return device.getCustomImageVersion(1, version); },
       request(0xC0, 0xB3, 0, 29, 2), false},
      {"DFU_GETSTATUS before its time", busy, 499ms, ask, kGetStatus, false},
      {"DFU_GETSTATUS at its time", busy, 500ms, ask, kGetStatus, true},
      {"the return to normal mode while it manifests", statusReply(DFU::OK, 300, DFU::dfuMANIFEST), 2s, leave, detach, false},
      {"DFU_GETSTATE while it manifests, before its time", statusReply(DFU::OK, 300, DFU::dfuMANIFEST), 299ms,
       [&] { return device.getDFUState(state); }, kGetState, false},
      {"DFU_GETSTATE while it manifests, at its time", statusReply(DFU::OK, 300, DFU::dfuMANIFEST), 300ms,
       [&] { return device.getDFUState(state); }, kGetState, true},
      {"DFU_GETSTATE while it writes a block", busy, 2s, [&] { return device.getDFUState(state); }, kGetState, false},
      {"the return to normal mode once it is idle", statusReply(DFU::OK, 500, DFU::dfuDNLOAD_IDLE), 0ms, leave, detach, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    connectInDFUMode();
    transport->queued[DFU::DFU_GETSTATUS] = {c.answer};
    ASSERT_TRUE(device.getDFUStatus(status));
    transport->now += c.after;
    transport->forget();
    EXPECT_EQ(c.send(), c.sent);
    EXPECT_EQ(transport->requests, c.sent ? std::vector<std::string>{c.request} : std::vector<std::string>{});
  }
}

// The device's owner can stop it before any request, whatever loop it is in;
// a block and the status request sent with it count as one.
TEST_F(DFUDeviceProtocolTest, ItsOwnerCanStopTheDeviceBeforeAnyRequest) {
  struct Quit {};
  struct Case {
    std::size_t quitAfter;  // requests
    bool secondImage, busyWithoutWait;
    std::vector<std::string> requests;
  };
  const Case cases[] = {
      {5, false, true, {kGetStatus, dnload(0, 256), kGetStatus, kGetStatus, kGetStatus}},
      {2, false, false, {kGetStatus, dnload(0, 256), kGetStatus}},
      {2, true, false, {request(0x41, 29, 0, kInterface, 256), request(0x41, 29, 1, kInterface, 256)}},
  };
  const Bytes image = testImage(1000);
  for (const Case& c : cases) {
    connectInDFUMode();
    if (c.busyWithoutWait) transport->standing[DFU::DFU_GETSTATUS] = statusReply(DFU::OK, 0, DFU::dfuDNBUSY);
    device.setInterruptionPoint([&] {
      if (transport->requests.size() >= c.quitAfter) throw Quit{};
    });
    EXPECT_THROW(c.secondImage ? device.writeCustom(image.data(), 1000, 1) : device.writeImage(image.data(), 1000, status),
                 Quit);
    EXPECT_EQ(transport->requests, c.requests);
  }
}

TEST_F(DFUDeviceProtocolTest, ToleratedManifestationIsFollowedBySecondSteps) {
  const Bytes image = testImage(100);
  const std::vector<std::string> download = blockRequests(100, 256);
  auto followedBy = [&](std::vector<std::string> tail) {
    std::vector<std::string> all = download;
    all.insert(all.end(), tail.begin(), tail.end());
    return all;
  };

  // While it manifests, the device is asked its state once its time is over.
  connectInDFUMode(256, 0x0F);
  transport->queued[DFU::DFU_GETSTATE] = {stateReply(DFU::dfuMANIFEST_SYNC), stateReply(DFU::dfuMANIFEST), stateReply(DFU::dfuIDLE)};
  thenStatus({statusReply(DFU::OK, 0, DFU::dfuDNLOAD_IDLE), statusReply(DFU::OK, 300, DFU::dfuMANIFEST),
              statusReply(DFU::OK, 0, DFU::dfuIDLE)});
  EXPECT_TRUE(device.writeImage(image.data(), 100, status));
  EXPECT_EQ(transport->requests, followedBy({kGetState, kGetStatus, kGetState, kGetState, kGetStatus}));
  EXPECT_EQ(sleeps, (std::vector<std::chrono::nanoseconds>{1s, 1s}));
  EXPECT_EQ(status.bState, DFU::dfuIDLE);
  EXPECT_FALSE(device.saysBusy());

  // Done at once, or once it has said it manifests: the state it tells then
  // ends its busy state, and it takes the second image.
  for (const bool manifestsFirst : {false, true}) {
    for (std::uint8_t done : {DFU::appIDLE, DFU::dfuMANIFEST_WAIT_RESET}) {
      connectInDFUMode(256, 0x0F);
      transport->standing[DFU::DFU_GETSTATE] = stateReply(done);
      if (manifestsFirst) {
        transport->queued[DFU::DFU_GETSTATE] = {stateReply(DFU::dfuMANIFEST_SYNC)};
        thenStatus({statusReply(DFU::OK, 0, DFU::dfuDNLOAD_IDLE), statusReply(DFU::OK, 300, DFU::dfuMANIFEST)});
      }
      EXPECT_TRUE(device.writeImage(image.data(), 100, status));
      EXPECT_EQ(transport->requests, followedBy(manifestsFirst ? std::vector<std::string>{kGetState, kGetStatus, kGetState}
                                                               : std::vector<std::string>{kGetState}));
      EXPECT_EQ(status.bState, done);
      EXPECT_EQ(status.bStatus, DFU::OK);
      EXPECT_TRUE(device.writeCustom(image.data(), 100, 1));
    }
  }

  // An unexpected state, an unreadable one and dfuIDLE that the status then
  // contradicts are the program's own verdict; dfuIDLE whose status reports
  // an error is the device's.
  struct Ending {
    Reply state, statusAfterIdle;
    std::uint8_t bStatus;
  };
  const Reply taken = statusReply(DFU::OK, 0, DFU::dfuDNLOAD_IDLE);
  for (const Ending& e : {Ending{stateReply(DFU::dfuDNLOAD_IDLE), taken, DFU::errUNKNOWN},
                          Ending{stall(), taken, DFU::errUNKNOWN},
                          Ending{stateReply(DFU::dfuIDLE), taken, DFU::errUNKNOWN},
                          Ending{stateReply(DFU::dfuIDLE), statusReply(DFU::errVERIFY, 0, DFU::dfuERROR), DFU::errVERIFY}}) {
    connectInDFUMode(256, 0x0F);
    transport->standing[DFU::DFU_GETSTATE] = e.state;
    thenStatus({taken, e.statusAfterIdle});
    EXPECT_FALSE(device.writeImage(image.data(), 100, status));
    EXPECT_EQ(status.bStatus, e.bStatus);
  }
}

TEST_F(DFUDeviceProtocolTest, ToleratedManifestationIsBounded) {
  const Bytes image = testImage(100);
  struct Case {
    std::uint16_t detachTimeOut;
    std::uint8_t state;
    std::size_t steps;
  };
  // At least ten seconds, or the device's own detach timeout when longer.
  for (Case c : {Case{1000, DFU::dfuMANIFEST, 10}, Case{15000, DFU::dfuMANIFEST, 15},
                 Case{1000, DFU::dfuMANIFEST_SYNC, 10}}) {
    connectInDFUMode(256, 0x0F, c.detachTimeOut);
    sleeps.clear();
    transport->standing[DFU::DFU_GETSTATE] = stateReply(c.state);
    transport->standing[DFU::DFU_GETSTATUS] =
        statusReply(DFU::OK, 0, c.state == DFU::dfuMANIFEST ? DFU::dfuDNLOAD_IDLE : DFU::dfuMANIFEST);
    thenStatus({statusReply(DFU::OK, 0, DFU::dfuDNLOAD_IDLE)});
    EXPECT_FALSE(device.writeImage(image.data(), 100, status));
    EXPECT_EQ(status.bStatus, DFU::errUNKNOWN);
    EXPECT_EQ(sleeps, std::vector<std::chrono::nanoseconds>(c.steps, 1s));
  }
}

TEST_F(DFUDeviceProtocolTest, UntoleratedManifestationRescansUntilTheDetachTimeout) {
  // No keyboard of the family is on this machine's bus, so no scan finds it.
  const Bytes image = testImage(100);
  for (auto [detachTimeOut, steps] : {std::pair<std::uint16_t, std::size_t>{1000, 1}, {25000, 3}, {0, 1}}) {
    connectInDFUMode(256, 0x0B, detachTimeOut);
    sleeps.clear();
    transport->standing[DFU::DFU_GETSTATE] = stateReply(DFU::dfuMANIFEST_SYNC);
    thenStatus({statusReply(DFU::OK, 0, DFU::dfuDNLOAD_IDLE), statusReply(DFU::OK, 0, DFU::dfuMANIFEST)});
    EXPECT_FALSE(device.writeImage(image.data(), 100, status));
    EXPECT_EQ(status.bStatus, DFU::errUNKNOWN);
    EXPECT_EQ(sleeps, std::vector<std::chrono::nanoseconds>(steps, 10s));
    std::vector<std::string> expected = blockRequests(100, 256);
    expected.insert(expected.end(), {kGetState, kGetStatus});
    EXPECT_EQ(transport->requests, expected);
  }
}

TEST_F(DFUDeviceProtocolTest, WriteCustomSendsVendorBlocksOf256Bytes) {
  connectInDFUMode();
  auto custom = [](std::uint16_t block, std::uint16_t length) { return request(0x41, 29, block, kInterface, length); };
  for (std::uint32_t size : {17192u, 512u, 100u}) {
    transport->forget();
    const Bytes image = testImage(size);
    EXPECT_TRUE(device.writeCustom(image.data(), size, 1));
    std::vector<std::string> expected;
    for (std::uint16_t block = 0; block < size / 256; ++block) expected.push_back(custom(block, 256));
    expected.push_back(custom(std::uint16_t(size / 256), std::uint16_t(size % 256)));
    EXPECT_EQ(transport->requests, expected);
    EXPECT_EQ(transport->written[29], image);
  }

  transport->forget();
  transport->queued[29] = {Reply{}, Reply{}, stall()};
  const Bytes image = testImage(1000);
  EXPECT_FALSE(device.writeCustom(image.data(), 1000, 1));
  EXPECT_EQ(transport->requests, (std::vector<std::string>{custom(0, 256), custom(1, 256), custom(2, 256)}));

  transport->forget();
  EXPECT_FALSE(device.writeCustom(nullptr, 1000, 1));
  EXPECT_FALSE(device.writeCustom(image.data(), 0, 1));
  transport->configuration = runTimeConfiguration();
  ASSERT_TRUE(device.connect(1));
  EXPECT_FALSE(device.writeCustom(image.data(), 1000, 1));
  EXPECT_TRUE(transport->requests.empty());
}

TEST_F(DFUDeviceProtocolTest, CustomImageVersionIsReadInEitherMode) {
  transport->configuration = runTimeConfiguration();
  ASSERT_TRUE(device.connect(1));
  std::uint32_t version = 99;
  transport->queued[0xB3] = {Reply{0, {0x0D, 0x01}}, Reply{0, {0x0E}}, stall()};
  EXPECT_TRUE(device.getCustomImageVersion(1, version));
  EXPECT_EQ(version, 0x010Du);
  EXPECT_FALSE(device.getCustomImageVersion(1, version));
  EXPECT_FALSE(device.getCustomImageVersion(1, version));
  EXPECT_EQ(version, 0x010Du);
  EXPECT_EQ(transport->requests, std::vector<std::string>(3, request(0xC0, 0xB3, 0, 29, 2)));
}

TEST_F(DFUDeviceProtocolTest, DetachAndReturnChooseTheDFURequestOrTheVendorReset) {
  const std::string detach = request(0x21, 0, 1000, kInterface, 0);
  struct Case {
    std::uint8_t attributes;
    std::string detach;
    std::string resetFromDFU;
  };
  for (const Case& c : {Case{0x0B, detach, detach}, Case{0x03, request(0x21, 0xF2, 0, kInterface, 0), request(0x21, 0xF3, 0, kInterface, 0)}}) {
    transport->configuration = runTimeConfiguration(c.attributes);
    ASSERT_TRUE(device.connect(1));
    transport->forget();
    EXPECT_TRUE(device.returnToAPPMode());
    EXPECT_TRUE(transport->requests.empty());
    EXPECT_TRUE(device.sendDFUDetach());
    EXPECT_EQ(transport->requests, std::vector<std::string>{c.detach});
    connectInDFUMode(256, c.attributes);
    EXPECT_TRUE(device.returnToAPPMode());
    EXPECT_EQ(transport->requests, std::vector<std::string>{c.resetFromDFU});
  }
  transport->standing[0xF3] = stall();
  EXPECT_FALSE(device.returnToAPPMode());
}

TEST_F(DFUDeviceProtocolTest, GetDFUStatusDecodesTheLittleEndianReply) {
  // A short reply and a failed one are among the download's faults below.
  connectInDFUMode();
  transport->queued[DFU::DFU_GETSTATUS] = {Reply{0, {0x03, 0x88, 0x13, 0x01, 0x04, 0x07}}};
  EXPECT_TRUE(device.getDFUStatus(status));
  EXPECT_EQ(status.bStatus, DFU::errWRITE);
  EXPECT_EQ(status.bwPollTimeout, 0x011388u);
  EXPECT_EQ(status.bState, DFU::dfuDNBUSY);
  EXPECT_EQ(status.iString, 7);
}

TEST_F(DFUDeviceProtocolTest, RequestFailuresAreTracedAtLevelOneOnlyWhenAllowed) {
  connectInDFUMode();
  transport->standing.clear();
  for (std::uint8_t r : {0, 1, 3, 4, 5, 6, 0xF2, 0xF3}) transport->standing[r] = stall();
  auto failEverything = [&] {
    DFUClient::Payload payload;
    std::uint8_t state = 0;
    device.writeDFUData(payload);
    device.getDFUStatus(status);
    device.getDFUState(state);
    device.sendDFUAbort();
    device.sendDFUClrStatus();
    device.sendDFUDetach();
    device.sendXMOSDFUResetIntoDFU();
    device.sendXMOSDFUResetFromDFU();
  };

  {
    // The default report level, and level 1 without the category: nothing.
    test::TraceCapture defaultLevel(2, {"DFUDevice"}, true);
    failEverything();
    test::TraceCapture notAllowed(1, {}, true);
    failEverything();
    EXPECT_EQ(defaultLevel.stream.str() + notAllowed.stream.str(), "");
  }
  test::TraceCapture trace(1, {"DFUDevice"}, true);
  failEverything();
  transport->standing[DFU::DFU_GETSTATUS] = Reply{0, {0, 0}};
  device.getDFUStatus(status);
  EXPECT_EQ(trace.stream.str(),
            "DFUDevice: DFU_DNLOAD failed with status 0xe000404f (Pipe has stalled)\n"
            "DFUDevice: DFU_GETSTATUS failed with status 0xe000404f (Pipe has stalled)\n"
            "DFUDevice: DFU_GETSTATE failed with status 0xe000404f (Pipe has stalled)\n"
            "DFUDevice: DFU_ABORT failed with status 0xe000404f (Pipe has stalled)\n"
            "DFUDevice: DFU_CLRSTATUS failed with status 0xe000404f (Pipe has stalled)\n"
            "DFUDevice: DFU_DETACH failed with status 0xe000404f (Pipe has stalled)\n"
            "DFUDevice: XMOS_DFU_RESETINTODFU failed with status 0xe000404f (Pipe has stalled)\n"
            "DFUDevice: XMOS_DFU_RESETFROMDFU failed with status 0xe000404f (Pipe has stalled)\n"
            "DFUDevice: DFU_GETSTATUS failed with status 0x0 (success)\n");
  EXPECT_EQ(transport->requests[3], request(0x21, 6, 0, kInterface, 0));
}

TEST_F(DFUDeviceProtocolTest, ReconnectInDFUModeNeedsAKnownDevice) {
  // Never connected: no ids to look for, no wait.
  EXPECT_FALSE(device.reconnectInDFUMode());
  EXPECT_TRUE(sleeps.empty());

  connectInDFUMode();
  EXPECT_TRUE(device.reconnectInDFUMode());
  EXPECT_TRUE(sleeps.empty());

  // From normal mode it leaves the device, waits for it to re-enumerate and
  // scans; no keyboard of the family is on this machine's bus.
  transport->deviceInfo.productId = 0x1350;
  transport->configuration = runTimeConfiguration();
  ASSERT_TRUE(device.connect(1));
  EXPECT_FALSE(device.reconnectInDFUMode());
  EXPECT_FALSE(device.isConnected());
  EXPECT_EQ(sleeps, (std::vector<std::chrono::nanoseconds>{2500ms}));
}

}  // namespace
}  // namespace QV::QDV2
