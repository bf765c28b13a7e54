#include "net/download_rules.h"

#include <gtest/gtest.h>

#include <limits>

namespace ostrel {
namespace {

TEST(DownloadRulesTest, RedirectsStayOnHttpsWithinTheCountAndLengthsNeverWrap) {
  EXPECT_EQ(JudgeRedirect(L"HTTPS://a.example/", L"hTTps://b.example/", 1, 5), RedirectVerdict::kFollow);
  EXPECT_EQ(JudgeRedirect(L"http://a.example/", L"https://b.example/", 5, 5), RedirectVerdict::kFollow);
  EXPECT_EQ(JudgeRedirect(L"https://a.example/", L"http://b.example/", 1, 5), RedirectVerdict::kLeavesHttps);
  // Counted first: the sixth is too many wherever it leads.
  EXPECT_EQ(JudgeRedirect(L"https://a.example/", L"http://b.example/", 6, 5), RedirectVerdict::kTooMany);

  constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
  EXPECT_EQ(AnnouncedBodyEnd(true, 1000, 500), 1500u);
  EXPECT_EQ(AnnouncedBodyEnd(false, 1000, 500), 500u);
  EXPECT_EQ(AnnouncedBodyEnd(true, kMax - 10, 500), kMax);
  EXPECT_EQ(BodyEndAfter(kMax - 1, 4096), kMax);
}

}  // namespace
}  // namespace ostrel
