#include "crash/crash_upload_url.h"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

TEST(CrashUploadUrlTest, PercentEncodingKeepsOnlyUnreservedBytes) {
  EXPECT_EQ(PercentEncode("AZaz09-_.~"), "AZaz09-_.~");
  EXPECT_EQ(PercentEncode("1.0 beta"), "1.0%20beta");
  EXPECT_EQ(PercentEncode("\xC3\xA9"), "%C3%A9");
  EXPECT_EQ(PercentEncode("a/b?c&d=e%"), "a%2Fb%3Fc%26d%3De%25");
  EXPECT_EQ(PercentEncode(std::string("\0\xff", 2)), "%00%FF");
}

TEST(CrashUploadUrlTest, ItemsInFixedOrderForTheAnnotationsThatExist) {
  std::map<std::string, std::string> annotations = {
      {"guid", "G"}, {"ver", "1.0 \xC3\xA9"}, {"prod", "Tarvik"}, {"plat", "Win32"}};
  EXPECT_EQ(AppendCrashQueryItems("https://h:1/submit", annotations),
            "https://h:1/submit?product=Tarvik&version=1.0%20%C3%A9&guid=G");
  EXPECT_EQ(AppendCrashQueryItems("https://h/submit", {{"ver", "1"}}), "https://h/submit?version=1");
  EXPECT_EQ(AppendCrashQueryItems("https://h/submit?x=1", {{"guid", "g"}}), "https://h/submit?x=1&guid=g");
  EXPECT_EQ(AppendCrashQueryItems("https://h/submit", {}), "https://h/submit");
}

TEST(CrashUploadUrlTest, EachItemIsCutTo127CharactersWithoutSplittingAnEscape) {
  std::string url = AppendCrashQueryItems("u", {{"prod", std::string(200, 'p')}, {"ver", "1"}});
  EXPECT_EQ(url, "u?product=" + std::string(127 - 9, 'p') + "&version=1");

  // "?version=" is 9 characters; 118 more fit. 39 escapes are 117, the 40th
  // would end at 120 and is dropped whole.
  url = AppendCrashQueryItems("u", {{"ver", std::string(60, ' ')}});
  std::string expected = "u?version=";
  for (int i = 0; i < 39; ++i) expected += "%20";
  EXPECT_EQ(url, expected);
  // An escape that ends exactly at the limit stays.
  url = AppendCrashQueryItems("u", {{"ver", "x" + std::string(60, ' ')}});
  EXPECT_EQ(url.size(), 1u + 127u);
  EXPECT_EQ(url.substr(url.size() - 3), "%20");
}

}  // namespace
}  // namespace ostrel
