#include "base/logging.h"

#include <gtest/gtest.h>

#include "testing/log_capture.h"

namespace ostrel {
namespace {

TEST(LogStreamTest, AppendsPiecesAsUtf8AndDecimal) {
  LogStream stream;
  stream << "a" << std::wstring(L"\u00e9\u4e2d") << ' ' << -5 << " " << 4294967295u << " " << true << false
         << " " << static_cast<long long>(-9000000000LL);
  EXPECT_EQ(stream.str(), "a\xc3\xa9\xe4\xb8\xad -5 4294967295 10 -9000000000");
}

TEST(LogMessageTest, ErrorVariantAppendsTheErrorText) {
  testing::ScopedLogCapture log;
  { LogMessage(LOG_ERROR, "Op", 1, "5, Access denied.\r\n").stream() << "Cannot open"; }
  { LogMessage(LOG_WARNING, "Op", 2, "2, not found").stream(); }
  std::vector<testing::CapturedRecord> records = log.records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].text, "Cannot open - 5, Access denied.\r\n");
  EXPECT_EQ(records[0].level, LOG_ERROR);
  EXPECT_EQ(records[0].function, "Op");
  // Nothing to separate from: the error text stands alone.
  EXPECT_EQ(records[1].text, "2, not found");
}

TEST(LogLevelNameTest, Names) {
  EXPECT_STREQ(LogLevelName(LOG_INFO), "INFO");
  EXPECT_STREQ(LogLevelName(LOG_ERROR), "ERROR");
  EXPECT_STREQ(LogLevelName(LOG_WARNING), "WARNING");
  EXPECT_STREQ(LogLevelName(3), "");
}

}  // namespace
}  // namespace ostrel
