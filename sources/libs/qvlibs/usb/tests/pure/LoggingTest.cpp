#include "QV/QDV2/Logging.h"

#include <gtest/gtest.h>
#include <syslog.h>

#include <iostream>

#include "TraceCapture.h"

namespace QV::QDV2 {
namespace {

using Logging::detail::__trace__msg;
using test::TraceCapture;

TEST(Logging, StartsAtLevelTwoAndLevelOneNeedsAnAllowedCategory) {
  EXPECT_EQ(Logging::destinationStream[1], &std::cerr);
  EXPECT_EQ(Logging::destinationStream[2], nullptr);
  // So only the download's level-2 message, which has no category, is made.
  EXPECT_TRUE(Logging::isEnabled(Logging::eLevel2, nullptr));
  EXPECT_FALSE(Logging::isEnabled(Logging::eLevel1, nullptr));

  TraceCapture trace(1, {"FX2Device"}, true);
  EXPECT_TRUE(Logging::isEnabled(Logging::eLevel1, "FX2Device"));
  EXPECT_FALSE(Logging::isEnabled(Logging::eLevel1, "DFUDevice"));
  EXPECT_TRUE(Logging::isEnabled(Logging::eLevel1, nullptr));
  EXPECT_FALSE(Logging::isEnabled(Logging::eLevel0, "FX2Device"));
}

TEST(Logging, WritesToTheStreamOfTheReportLevelWhateverTheMessageLevel) {
  TraceCapture trace(1, {}, true);
  __trace__msg(Logging::eLevel1, "%s: failed with 0x%x\n", "DFUDevice", 0xE000404Fu);
  __trace__msg(Logging::eLevel3, "%d\n", 3);
  EXPECT_EQ(trace.stream.str(), "DFUDevice: failed with 0xe000404f\n3\n");
  EXPECT_TRUE(trace.systemLog.empty());
}

TEST(Logging, HighLevelsWithoutStreamGoToTheSystemLog) {
  TraceCapture trace(2, {}, false);
  __trace__msg(Logging::eLevel2, "%s: Unsupported wTransferSize (%d)\n", "DFUDevice", 9000);
  __trace__msg(Logging::eLevel3, "critical\n");
  __trace__msg(Logging::eLevel1, "dropped\n");
  __trace__msg(Logging::eLevel0, "dropped\n");
  ASSERT_EQ(trace.systemLog.size(), 2u);
  EXPECT_EQ(trace.systemLog[0].first, LOG_ERR);
  EXPECT_EQ(trace.systemLog[0].second, "DFUDevice: Unsupported wTransferSize (9000)\n");
  EXPECT_EQ(trace.systemLog[1].first, LOG_CRIT);
  EXPECT_EQ(trace.systemLog[1].second, "critical\n");
}

TEST(Logging, ArgumentsAreNotReadAsFormats) {
  TraceCapture trace(2, {}, false);
  __trace__msg(Logging::eLevel2, "%s", "100%s %n %d%%");
  ASSERT_EQ(trace.systemLog.size(), 1u);
  EXPECT_EQ(trace.systemLog[0].second, "100%s %n %d%%");
}

TEST(Logging, LongMessagesAreCutAt1023Characters) {
  TraceCapture trace(0, {}, true);
  const std::string text(5000, 'x');
  __trace__msg(Logging::eLevel2, "<%s>", text.c_str());
  EXPECT_EQ(trace.stream.str(), "<" + std::string(1022, 'x'));
}

}  // namespace
}  // namespace QV::QDV2
