#include "LateKeyboardSearch.h"

#include <utility>

#include "FirmwareUpdaterConfig.h"

namespace QV {

LateKeyboardSearch::LateKeyboardSearch(FirmwareUpdaterConfig& config, eFrom from,
                                       std::function<Clock::time_point()> now)
    : m_config(config), m_from(from), m_now(std::move(now)), m_deadline(m_now() + patience(from)) {}

LateKeyboardSearch::eLook LateKeyboardSearch::look() {
  const bool found = m_from == eFrom::eSwitch ? m_config.connectInUpdateMode() : m_config.connectInNormalMode();
  if (found) {
    return eLook::eFound;
  }
  // A scan takes time of its own: whether another look fits in is judged
  // once this one is over.
  return m_now() < m_deadline ? eLook::eLookAgain : eLook::eGivenUp;
}

}  // namespace QV
