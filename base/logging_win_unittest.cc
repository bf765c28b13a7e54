#include <windows.h>

#include <gtest/gtest.h>

#include "base/logging.h"
#include "testing/log_capture.h"

namespace ostrel {
namespace {

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

}  // namespace
}  // namespace ostrel
