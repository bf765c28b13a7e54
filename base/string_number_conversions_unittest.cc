#include "base/string_number_conversions.h"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

TEST(StringToUint32Test, AcceptsDigitsUpToTheLimit) {
  uint32_t value = 7;
  EXPECT_TRUE(StringToUint32("0", &value));
  EXPECT_EQ(value, 0u);
  EXPECT_TRUE(StringToUint32("4294967295", &value));
  EXPECT_EQ(value, 4294967295u);
  EXPECT_TRUE(StringToUint32("000000000000012", &value));
  EXPECT_EQ(value, 12u);
}

TEST(StringToUint32Test, RefusesAnythingElseAndKeepsTheValue) {
  for (const char* text : {"", "4294967296", "99999999999999999999999", "-1", "+1", " 1", "1 ", "1a", "0x10",
                           "1.0"}) {
    uint32_t value = 7;
    EXPECT_FALSE(StringToUint32(text, &value)) << text;
    EXPECT_EQ(value, 7u) << text;
  }
  uint32_t value = 7;
  EXPECT_FALSE(StringToUint32(std::string_view("1\0" "2", 3), &value));
}

}  // namespace
}  // namespace ostrel
