// What the engine's tests against simulated keyboards share: the engine with
// its inner parts open to them, and the wait for its result word.
#pragma once

#include <atomic>
#include <chrono>
#include <optional>
#include <span>

#include "FirmwareImages.h"
#include "QV/QDV2/DFUDevice.h"
#include "SimulatedKeyboardFixture.h"
#include "ZARNUpdaterUpgradeLogic.h"

namespace QV {

// The engine with its firmware table open to the tests.
class TestableUpgradeLogic : public ZARNUpdaterUpgradeLogic {
 public:
  std::optional<bool> secondImageDue() const { return m_secondImageDue; }
  const QDV2::DFUDevice& device() const { return m_device; }
  QDV2::DFUDevice& device() { return m_device; }
  void setFirmwareTable(std::span<const FW::FirmwareImageEntry> table) { m_firmwareTable = table; }
};

// The worker stores the word once, atomically; it is read the same way.
inline int load(int& word) { return std::atomic_ref<int>(word).load(); }

// Long enough for a whole update of a keyboard that re-enumerates during
// manifestation; the worker's own waits are bounded well below this.
inline constexpr std::chrono::milliseconds kUpdateTimeout{90'000};

// Waits until the worker has stored its result; 0 when it has not in time.
inline int waitForResult(int& word) {
  TestSupport::waitUntil([&] { return load(word) != 0; }, kUpdateTimeout);
  return load(word);
}

}  // namespace QV
