#include "ui/png_decoder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

namespace ostrel {
namespace {

std::string BigEndian32(uint32_t value) {
  return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
          static_cast<char>(value)};
}

std::string Chunk(std::string_view type, std::string_view body) {
  std::string typed = std::string(type) + std::string(body);
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size()));
  return BigEndian32(static_cast<uint32_t>(body.size())) + typed + BigEndian32(static_cast<uint32_t>(crc));
}

std::string Header(uint32_t width, uint32_t height, uint8_t depth, uint8_t colour, uint8_t interlace = 0) {
  return BigEndian32(width) + BigEndian32(height) + std::string{static_cast<char>(depth), static_cast<char>(colour)} +
         std::string(2, '\0') + std::string(1, static_cast<char>(interlace));
}

std::string Deflate(const std::string& raw) {
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
            static_cast<uLong>(raw.size()), 9);
  out.resize(size);
  return out;
}

// `rows`: each row's filter byte and its bytes.
std::string Png(const std::string& header, const std::string& rows, const std::vector<std::string>& before_data = {}) {
  std::string png = "\x89PNG\r\n\x1a\n" + Chunk("IHDR", header);
  for (const std::string& chunk : before_data) png += chunk;
  return png + Chunk("IDAT", Deflate(rows)) + Chunk("IEND", "");
}

std::vector<uint8_t> Pixels(std::initializer_list<std::vector<uint8_t>> bgra) {
  std::vector<uint8_t> all;
  for (const auto& pixel : bgra) all.insert(all.end(), pixel.begin(), pixel.end());
  return all;
}

// The kinds the built-in pictures do not use (those are checked against the
// system's decoder where it runs): bits of one sample spread over two bytes,
// a transparent grey value, the premultiplication of a part-clear colour.
TEST(PngDecoderTest, ReadsSmallSamplesTransparencyAndPremultipliesTheColour) {
  PremultipliedPixels pixels;
  // Palette of 2 bits: indices 2, 1, 0 in one byte; index 0 clear, 1 half clear.
  ASSERT_TRUE(DecodePng(Png(Header(3, 1, 2, 3), std::string("\0\x90", 2),
                            {Chunk("PLTE", std::string("\xff\0\0\0\xff\0\0\0\xff", 9)),
                             Chunk("tRNS", std::string("\0\x80", 2))}),
                        &pixels));
  EXPECT_EQ(pixels.bgra, Pixels({{255, 0, 0, 255}, {0, 128, 0, 128}, {0, 0, 0, 0}}));

  // Grey of 1 bit, nine pixels over two bytes, value 0 transparent.
  ASSERT_TRUE(DecodePng(Png(Header(9, 1, 1, 0), std::string("\0\xaa\x80", 3), {Chunk("tRNS", std::string("\0\0", 2))}),
                        &pixels));
  ASSERT_EQ(pixels.bgra.size(), 9u * 4);
  for (size_t x = 0; x < 9; ++x) {
    uint8_t expected = x % 2 ? 0 : 255;
    EXPECT_EQ(pixels.bgra[4 * x], expected) << x;
    EXPECT_EQ(pixels.bgra[4 * x + 3], expected) << x;
  }

  // Truecolour with alpha, the second pixel through the Sub filter.
  ASSERT_TRUE(DecodePng(
      Png(Header(2, 1, 8, 6), std::string("\x01\xc8\x64\x32\x80\x0a\x0a\x0a\x7f", 9)), &pixels));
  EXPECT_EQ(pixels.width, 2u);
  EXPECT_EQ(pixels.height, 1u);
  // (200, 100, 50) at alpha 128, then (210, 110, 60) opaque.
  EXPECT_EQ(pixels.bgra, Pixels({{25, 50, 100, 128}, {60, 110, 210, 255}}));
}

// Rows are inflated one at a time: a row may end inside a repeat that the
// next goes on with, and a chunk anywhere, even before the stream's last bits.
TEST(PngDecoderTest, ReadsDataSplitIntoChunksAtEveryByte) {
  const uint32_t width = 40, height = 30;
  auto grey = [](uint32_t x, uint32_t y) { return static_cast<uint8_t>(y < 15 ? x * 5 : x * 7 + y * 3); };
  std::string rows;
  for (uint32_t y = 0; y < height; ++y) {
    rows += '\0';
    for (uint32_t x = 0; x < width; ++x) rows += static_cast<char>(grey(x, y));
  }
  const std::string compressed = Deflate(rows);
  std::string png = "\x89PNG\r\n\x1a\n" + Chunk("IHDR", Header(width, height, 8, 0));
  for (char byte : compressed) png += Chunk("IDAT", std::string(1, byte));
  png += Chunk("IDAT", "") + Chunk("tEXt", std::string("k\0v", 3)) + Chunk("IEND", "");

  PremultipliedPixels pixels;
  ASSERT_TRUE(DecodePng(png, &pixels));
  ASSERT_EQ(pixels.bgra.size(), size_t{width} * height * 4);
  EXPECT_TRUE(pixels.opaque);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const uint8_t* pixel = &pixels.bgra[(size_t{y} * width + x) * 4];
      ASSERT_EQ(pixel[0], grey(x, y)) << x << "," << y;
      ASSERT_EQ(pixel[3], 255) << x << "," << y;
    }
  }
}

TEST(PngDecoderTest, RefusesWhatIsNotAWholeSoundPictureOfAKindItReads) {
  const std::string opaque_row = std::string("\0\x01\x02\x03\xff\x04\x05\x06\xff", 9);
  const std::string sound = Png(Header(2, 1, 8, 6), opaque_row);
  PremultipliedPixels pixels;
  ASSERT_TRUE(DecodePng(sound, &pixels));

  std::string bad_crc = sound;
  bad_crc[bad_crc.size() - 20] ^= 1;
  std::string unknown_filter = opaque_row;
  unknown_filter[0] = 5;
  const std::string palette = Chunk("PLTE", std::string("\x10\x20\x30", 3));
  const std::pair<const char*, std::string> refused[] = {
      {"not a PNG", "\xff\xd8\xff\xe0 not a PNG at all"},
      {"cut short", sound.substr(0, sound.size() - 1)},
      {"damaged chunk", bad_crc},
      {"interlaced", Png(Header(2, 1, 8, 6, 1), opaque_row)},
      {"16-bit", Png(Header(1, 1, 16, 6), std::string(9, '\0'))},
      {"gamma to apply", Png(Header(2, 1, 8, 6), opaque_row, {Chunk("gAMA", BigEndian32(45455))})},
      {"unknown critical chunk", Png(Header(2, 1, 8, 6), opaque_row, {Chunk("ABCD", "")})},
      {"palette index past the palette", Png(Header(2, 1, 8, 3), std::string("\0\0\x01", 3), {palette})},
      {"palette picture without a palette", Png(Header(2, 1, 8, 3), std::string("\0\0\0", 3))},
      {"rows longer than the picture", Png(Header(2, 1, 8, 6), opaque_row + '\0')},
      {"rows shorter than the picture", Png(Header(2, 1, 8, 6), opaque_row.substr(0, 8))},
      {"unknown filter", Png(Header(2, 1, 8, 6), unknown_filter)},
      {"no width", Png(Header(0, 1, 8, 6), "\0")},
      {"more pixels than allowed", Png(Header(8192, 2049, 8, 6), "\0")},
  };
  for (const auto& [what, data] : refused) {
    PremultipliedPixels untouched;
    untouched.width = 77;
    EXPECT_FALSE(DecodePng(data, &untouched)) << what;
    EXPECT_EQ(untouched.width, 77u) << what;
  }
}

}  // namespace
}  // namespace ostrel
