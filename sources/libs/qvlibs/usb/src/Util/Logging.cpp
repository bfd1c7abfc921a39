#include "QV/QDV2/Logging.h"

#include <syslog.h>

#include <cstdarg>
#include <cstdio>
#include <iostream>

namespace QV::QDV2::Logging {

// Constant-initialised where the types allow it, so that a message written
// by another translation unit's static initialiser finds the trace ready.
constinit std::array<std::ostream*, 4> destinationStream = {&std::cerr, &std::cerr, nullptr,
                                                           nullptr};
std::set<std::string> allowedCategories;
constinit std::string strProvider;
constinit std::mutex mtxTrace;

namespace detail {

constinit std::atomic<unsigned> __reportLevelAsUInt{eLevel2};

namespace {

// Guards the system-log sink, which tests replace while other threads may
// be writing.
constinit std::mutex s_sinkMutex;

SystemLogSink& systemLogSink() {
  static SystemLogSink sink;
  return sink;
}

void writeToSystemLog(int priority, const char* text) {
  SystemLogSink sink;
  {
    std::lock_guard<std::mutex> lock(s_sinkMutex);
    sink = systemLogSink();
  }
  if (sink) {
    sink(priority, text);
  } else {
    // The text is already formatted: it must not be read as a format again.
    ::syslog(priority, "%s", text);
  }
}

}  // namespace

void setSystemLogSink(SystemLogSink sink) {
  std::lock_guard<std::mutex> lock(s_sinkMutex);
  systemLogSink() = std::move(sink);
}

void __trace__msg(Level level, const char* format, ...) {
  // Formatted once: a va_list can be walked only once, and the text goes to
  // exactly one place.
  char buffer[1024];
  buffer[0] = '\0';
  va_list args;
  va_start(args, format);
  if (std::vsnprintf(buffer, sizeof buffer, format, args) < 0) {
    buffer[0] = '\0';
  }
  va_end(args);

  const unsigned reportLevel = __reportLevelAsUInt.load();
  {
    std::lock_guard<std::mutex> lock(mtxTrace);
    std::ostream* stream = reportLevel < destinationStream.size() ? destinationStream[reportLevel]
                                                                  : nullptr;
    if (stream != nullptr) {
      *stream << buffer;
      stream->flush();
      return;
    }
  }
  if (level == eLevel3) {
    writeToSystemLog(LOG_CRIT, buffer);
  } else if (level == eLevel2) {
    writeToSystemLog(LOG_ERR, buffer);
  }
}

}  // namespace detail

bool isEnabled(Level level, const char* category) {
  if (detail::__reportLevelAsUInt.load() > level) {
    return false;
  }
  if (category == nullptr) {
    return true;
  }
  std::lock_guard<std::mutex> lock(mtxTrace);
  return allowedCategories.count(category) != 0;
}

}  // namespace QV::QDV2::Logging
