#include "LateKeyboardSearch.h"

#include <utility>

#include "FirmwareUpdaterConfig.h"

namespace QV {

LateKeyboardSearch::LateKeyboardSearch(FirmwareUpdaterConfig& config, std::function<Clock::time_point()> now,
                                       std::chrono::milliseconds patience)
    : m_config(config), m_now(std::move(now)), m_deadline(m_now() + patience) {}

LateKeyboardSearch::eLook LateKeyboardSearch::look() {
  if (m_config.connectInUpdateMode()) {
    return eLook::eFound;
  }
  // A scan takes time of its own: whether another look fits in is judged
  // once this one is over.
  return m_now() < m_deadline ? eLook::eLookAgain : eLook::eGivenUp;
}

}  // namespace QV
