#include "config/distrib_info_syntax.h"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

TEST(DistribInfoSyntaxTest, PairsKeysAndValues) {
  DistribParamMap params = ParseDistribInfoParams("a=1&b=&c&=x&a=2");
  EXPECT_EQ(params, (DistribParamMap{{"", "x"}, {"a", "2"}, {"b", ""}, {"c", ""}}));
  EXPECT_EQ(params.begin()->first, "");

  EXPECT_EQ(ParseDistribInfoParams("k=v=w"), (DistribParamMap{{"k", "v=w"}}));
  EXPECT_EQ(ParseDistribInfoParams("%41=1"), (DistribParamMap{{"%41", "1"}}));
  EXPECT_EQ(ParseDistribInfoParams("lang=ru+uk%20x"), (DistribParamMap{{"lang", "ru+uk%20x"}}));
  EXPECT_TRUE(ParseDistribInfoParams("").empty());
  // Empty pairs are pairs with an empty key.
  EXPECT_EQ(ParseDistribInfoParams("a=1&"), (DistribParamMap{{"", ""}, {"a", "1"}}));
  EXPECT_EQ(ParseDistribInfoParams("="), (DistribParamMap{{"", ""}}));
}

TEST(DistribInfoSyntaxTest, KeysAreOrderedByBytes) {
  DistribParamMap params = ParseDistribInfoParams(std::string("b=1&B=2&\xc3\xa9=3&a=4&_=5"));
  std::vector<std::string> keys;
  for (const auto& [key, value] : params) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"B", "_", "a", "b", "\xc3\xa9"}));
}

TEST(DistribInfoSyntaxTest, RawBytesAreKept) {
  std::string text("k\0y=v\0l&\xff=\x01", 11);
  DistribParamMap params = ParseDistribInfoParams(text);
  ASSERT_EQ(params.size(), 2u);
  EXPECT_EQ(params[std::string("k\0y", 3)], std::string("v\0l", 3));
  EXPECT_EQ(params["\xff"], "\x01");
}

}  // namespace
}  // namespace ostrel
