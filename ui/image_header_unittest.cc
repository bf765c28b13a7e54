#include "ui/image_header.h"

#include <gtest/gtest.h>

#include <string>

namespace ostrel {
namespace {

std::string Png(uint32_t width, uint32_t height) {
  std::string data("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
  for (uint32_t value : {width, height}) {
    for (int shift = 24; shift >= 0; shift -= 8) data += static_cast<char>((value >> shift) & 0xFF);
  }
  return data + std::string("\x08\x06\0\0\0", 5);
}

TEST(ImageHeaderTest, ReadsPngAndJpegDimensionsAndRefusesTheRest) {
  uint32_t width = 0, height = 0;
  ASSERT_TRUE(ReadImageDimensions(Png(60000, 60000), &width, &height));
  EXPECT_EQ(60000u, width);
  EXPECT_EQ(60000u, height);

  // SOI, an APP0 segment to skip, fill bytes, then a progressive frame (C2).
  std::string jpeg("\xFF\xD8\xFF\xE0\x00\x04\xAB\xCD\xFF\xFF\xC2\x00\x0B\x08\x01\xE0\x02\x80\x01\x01\x11\x00", 22);
  ASSERT_TRUE(ReadImageDimensions(jpeg, &width, &height));
  EXPECT_EQ(640u, width);
  EXPECT_EQ(480u, height);

  for (const std::string& bad : {Png(1, 1).substr(0, 23), jpeg.substr(0, 16), std::string("GIF89a"),
                                 std::string("\xFF\xD8\xFF\xDA\x00\x02", 6), std::string("\xFF\xD8\xFF\xE0\x00\x01", 6)}) {
    EXPECT_FALSE(ReadImageDimensions(bad, &width, &height)) << bad.size();
  }
}

}  // namespace
}  // namespace ostrel
