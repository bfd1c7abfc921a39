#pragma once

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "QV/QDV2/Logging.h"

namespace QV::QDV2::test {

// Takes over the process-wide trace for one test: messages that reach a
// stream land in `stream`, those bound for the system log in `systemLog`.
// Everything is put back on destruction.
class TraceCapture {
 public:
  // Report level and categories as given; the stream of that level is ours.
  TraceCapture(unsigned reportLevel, std::set<std::string> categories, bool withStream)
      : m_savedLevel(Logging::detail::__reportLevelAsUInt.load()),
        m_savedStreams(Logging::destinationStream),
        m_savedCategories(Logging::allowedCategories) {
    Logging::detail::__reportLevelAsUInt = reportLevel;
    Logging::allowedCategories = std::move(categories);
    Logging::destinationStream = {nullptr, nullptr, nullptr, nullptr};
    if (withStream && reportLevel < Logging::destinationStream.size()) {
      Logging::destinationStream[reportLevel] = &stream;
    }
    Logging::detail::setSystemLogSink(
        [this](int priority, const char* text) { systemLog.emplace_back(priority, text); });
  }

  ~TraceCapture() {
    Logging::detail::setSystemLogSink({});
    Logging::detail::__reportLevelAsUInt = m_savedLevel;
    Logging::destinationStream = m_savedStreams;
    Logging::allowedCategories = m_savedCategories;
  }

  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;

  std::ostringstream stream;
  std::vector<std::pair<int, std::string>> systemLog;

 private:
  unsigned m_savedLevel;
  std::array<std::ostream*, 4> m_savedStreams;
  std::set<std::string> m_savedCategories;
};

}  // namespace QV::QDV2::test
