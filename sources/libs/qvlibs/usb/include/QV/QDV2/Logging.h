#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <mutex>
#include <ostream>
#include <set>
#include <string>

namespace QV::QDV2::Logging {

// Message level, 0 to 3. The USB layer uses 1 for request failures and 2 for
// a refused download.
enum Level : unsigned {
  eLevel0 = 0,
  eLevel1 = 1,
  eLevel2 = 2,
  eLevel3 = 3,
};

// Process-wide trace state. Nothing in the program changes it; tests do.
// destinationStream is indexed by the report level: levels 0 and 1 write to
// standard error, levels 2 and 3 have no stream and go to the system log.
extern std::array<std::ostream*, 4> destinationStream;
extern std::set<std::string> allowedCategories;
extern std::string strProvider;
extern std::mutex mtxTrace;

// The call sites' filter: true when a message of `level` should be produced.
// A non-null category must also be allowed; a null category is not checked.
bool isEnabled(Level level, const char* category);

namespace detail {

extern std::atomic<unsigned> __reportLevelAsUInt;

// Formats once (printf rules, cut at 1023 characters) and writes the text to
// the destination stream of the report level, or, for levels 2 and 3 when
// there is none, to the system log. Thread: any.
void __trace__msg(Level level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Where system-log messages go: syslog by default. Tests substitute a sink;
// an empty function restores syslog. `priority` is a syslog priority.
using SystemLogSink = std::function<void(int priority, const char* text)>;
void setSystemLogSink(SystemLogSink sink);

}  // namespace detail

}  // namespace QV::QDV2::Logging
