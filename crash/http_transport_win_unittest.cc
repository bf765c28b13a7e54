#include "crash/http_transport_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "base/module_version.h"
#include "config/maker_hosts.h"
#include "testing/platform_log_capture.h"
#include "testing/standin_test_util.h"

namespace ostrel {
namespace {

TEST(WinHttpTransportTest, UserAgentCarriesTheLibraryAndSystemVersions) {
  std::string agent = WinHttpUserAgent();
  std::smatch match;
  ASSERT_TRUE(std::regex_match(agent, match,
                               std::regex(R"(Crashpad/0\.8\.0 WinHTTP/\d+\.\d+\.\d+\.\d+)"
                                          R"(( Windows_NT/\d+\.\d+\.\d+\.\d+ \(x86(; WoW64)?\))?)")))
      << agent;
  // The system part needs a kernel whose version resource says Windows NT
  // (Wine's says nothing, so there it is left out).
  VS_FIXEDFILEINFO kernel = {};
  ASSERT_TRUE(GetModuleVersionAndType(L"kernel32.dll", &kernel));
  EXPECT_EQ(match[1].matched, (kernel.dwFileOS & VOS_NT_WINDOWS32) == VOS_NT_WINDOWS32) << agent;
}

TEST(WinHttpTransportTest, ErrorLinesNameTheFunctionTheTextAndTheCode) {
  std::string line = WinHttpErrorMessage("WinHttpSendRequest", ERROR_WINHTTP_CANNOT_CONNECT);
  EXPECT_EQ(line.rfind("WinHttpSendRequest: ", 0), 0u) << line;
  EXPECT_EQ(line.substr(line.size() - 9), " (0x2efd)") << line;
  EXPECT_GT(line.size(), strlen("WinHttpSendRequest: ") + 9);
  EXPECT_EQ(line.find('\n'), std::string::npos);
}

TEST(WinHttpTransportTest, FailuresAreLoggedAndReturnFalse) {
  struct Case {
    const char* url;
    const char* failing_function;
  } cases[] = {{"not a url", "WinHttpCrackUrl"}, {"http://localhost:1/submit", "WinHttpSendRequest"}};
  for (const Case& c : cases) {
    testing::ScopedPlatformLogCapture log;
    WinHttpTransport transport;
    transport.SetUrl(c.url);
    transport.SetTimeout(5);
    transport.SetBodyStream(std::make_unique<StringHttpBodyStream>("body"));
    std::string response;
    EXPECT_FALSE(transport.ExecuteSynchronously(&response));
    std::vector<std::string> lines = log.lines();
    ASSERT_EQ(lines.size(), 1u) << c.url;
    EXPECT_EQ(lines[0].rfind(std::string(c.failing_function) + ": ", 0), 0u) << lines[0];
  }
}

// A collector that takes the connection and never answers holds the upload
// only until its deadline: the watchdog closes the request handle. Windows
// ends the blocked call then; Wine 8 lets it run to its time-out, so the time
// is not measured here.
TEST(WinHttpTransportTest, APeerThatNeverAnswersFailsAtTheDeadline) {
  REQUIRE_STANDIN();
  testing::ScopedPlatformLogCapture log;
  WinHttpTransport transport;
  transport.SetUrl(std::string(hosts::kCrashCollector) + "/__fault/stall=4000/submit");
  transport.SetTimeout(5);
  transport.SetDeadline(1);
  transport.SetBodyStream(std::make_unique<StringHttpBodyStream>("body"));
  EXPECT_FALSE(transport.ExecuteSynchronously(nullptr));
  std::vector<std::string> lines = log.lines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "The upload passed its deadline of 1000 ms"), lines.end());
}

}  // namespace
}  // namespace ostrel
