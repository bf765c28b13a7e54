#include "base/logging.h"

#include <windows.h>

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

TEST(LogMessageTest, PlogTakesTheErrorBeforeTheTextIsBuilt) {
  testing::ScopedLogCapture log;
  ::SetLastError(ERROR_ACCESS_DENIED);
  PLOG(ERROR) << "x" << (::SetLastError(0), "y");
  ASSERT_EQ(log.records().size(), 1u);
  EXPECT_EQ(log.records()[0].text, "xy - " + FormatWindowsError(ERROR_ACCESS_DENIED));
  EXPECT_EQ(log.records()[0].function, "TestBody");
}

TEST(FormatWindowsErrorTest, KnownAndUnknownCodes) {
  std::string access = FormatWindowsError(5);
  EXPECT_EQ(access.rfind("5, ", 0), 0u);
  EXPECT_GT(access.size(), 3u);
  EXPECT_EQ(FormatWindowsError(0x2BADF00Du), "732819469, unknown error 0x2badf00d\n");
}

TEST(FormatWindowsErrorTest, InternetErrorsComeFromWininetWhenLoaded) {
  HMODULE wininet = ::LoadLibraryW(L"wininet.dll");
  ASSERT_NE(wininet, nullptr);
  std::string text = FormatWindowsError(12029);  // ERROR_INTERNET_CANNOT_CONNECT
  EXPECT_EQ(text.rfind("12029, ", 0), 0u);
  EXPECT_EQ(text.find("unknown error"), std::string::npos) << text;
  ::FreeLibrary(wininet);
}

TEST(LogLevelNameTest, Names) {
  EXPECT_STREQ(LogLevelName(LOG_INFO), "INFO");
  EXPECT_STREQ(LogLevelName(LOG_ERROR), "ERROR");
  EXPECT_STREQ(LogLevelName(LOG_WARNING), "WARNING");
  EXPECT_STREQ(LogLevelName(3), "");
}

}  // namespace
}  // namespace ostrel
