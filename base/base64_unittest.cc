#include "base/base64.h"

#include <gtest/gtest.h>

#include <string>

namespace ostrel {
namespace {

TEST(Base64Test, KnownVectorsBothWays) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},           {"f", "Zg=="},         {"fo", "Zm8="},
      {"foo", "Zm9v"},    {"foob", "Zm9vYg=="},  {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {std::string("\x00\xFB\xFF", 3), "APv/"},
      {std::string("\xF8", 1), "+A=="},
  };
  for (const auto& [data, text] : cases) {
    EXPECT_EQ(Base64Encode(data), text);
    std::string decoded = "previous";
    EXPECT_TRUE(Base64Decode(text, &decoded)) << text;
    EXPECT_EQ(decoded, data);
  }
}

TEST(Base64Test, EveryByteValueRoundTrips) {
  std::string data;
  for (int i = 0; i < 256; ++i) data.push_back(static_cast<char>(i));
  for (size_t length = 0; length <= 4; ++length) {
    const std::string slice = data.substr(0, data.size() - length);
    std::string decoded;
    ASSERT_TRUE(Base64Decode(Base64Encode(slice), &decoded));
    EXPECT_EQ(decoded, slice);
  }
}

TEST(Base64Test, DecodeRejectsAnythingButTheCanonicalText) {
  for (const char* text : {
           "Zg",          // padding missing
           "Zg=",         // length not a multiple of 4
           "Zm9vY",       // likewise
           "Zh==",        // unused bits set
           "Zm9=",        // likewise
           "Z===",        // a lone character cannot form a byte
           "====",        //
           "Zg==Zg==",    // padding before the end
           "Zm=v",        //
           "Zm9v\n",      // white space
           "Zm 9v",       //
           " Zm9v",       //
           "Zm9-",        // URL-safe alphabet
           "Zm9_",        //
           "Zm9\x80",     // non-ASCII
       }) {
    std::string decoded = "unchanged";
    EXPECT_FALSE(Base64Decode(text, &decoded)) << text;
    EXPECT_EQ(decoded, "unchanged");
  }
  std::string decoded;
  EXPECT_FALSE(Base64Decode(std::string_view("Zm9\0", 4), &decoded));
}

}  // namespace
}  // namespace ostrel
