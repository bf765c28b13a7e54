#include "base/version.h"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

TEST(VersionTest, ParsesDecimalComponents) {
  EXPECT_EQ(Version("6.1.7601.24000").components(), (std::vector<uint32_t>{6, 1, 7601, 24000}));
  EXPECT_EQ(Version("10").components(), std::vector<uint32_t>{10});
  EXPECT_EQ(Version("4294967295.0").ToString(), "4294967295.0");
  EXPECT_EQ(Version("01.002").ToString(), "1.2");
}

TEST(VersionTest, RejectsAnythingElse) {
  for (const char* text : {"", ".", "1.", ".1", "1..2", "1.2a", "-1", "+1", " 1", "1 ", "4294967296", "1,2"})
    EXPECT_FALSE(Version(text).IsValid()) << '"' << text << '"';
}

TEST(VersionTest, MissingTrailingComponentsCountAsZero) {
  EXPECT_EQ(Version("6.1"), Version("6.1.0.0"));
  EXPECT_LT(Version("6.1"), Version("6.1.0.1"));
  EXPECT_GT(Version("6.10"), Version("6.9.99999"));
  EXPECT_GE(Version("6.1.7601.99999"), Version("6.1.7601.24000"));
}

}  // namespace
}  // namespace ostrel
