#include "ui/scaled_image.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "testing/log_capture.h"

namespace ostrel {
namespace {

// A 32-bit BMP of `width` × `height` whose pixel rows end after
// `pixel_bytes`: its headers are sound, its pixels are not all there.
std::vector<uint8_t> BmpWithPixelBytes(int width, int height, size_t pixel_bytes) {
  std::vector<uint8_t> bmp(14 + 40 + pixel_bytes, 0x7F);
  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;
  file.bfSize = static_cast<DWORD>(14 + 40 + static_cast<size_t>(width) * height * 4);
  file.bfOffBits = 14 + 40;
  BITMAPINFOHEADER info = {};
  info.biSize = 40;
  info.biWidth = width;
  info.biHeight = -height;
  info.biPlanes = 1;
  info.biBitCount = 32;
  info.biCompression = BI_RGB;
  std::memcpy(bmp.data(), &file, 14);
  std::memcpy(bmp.data() + 14, &info, 40);
  return bmp;
}

bool LoadBytes(const std::vector<uint8_t>& bytes, ScaledImage* image) {
  IStream* stream = ::SHCreateMemStream(bytes.data(), static_cast<UINT>(bytes.size()));
  if (!stream) return false;
  bool loaded = image->LoadFromStream(stream, 1.0);
  stream->Release();
  return loaded;
}

// GDI+ reads a picture's pixels when it is first drawn unless told to at
// once: a picture that cannot be decoded is refused where it is loaded
// (for a slide, on the download thread, which then counts a failure), not
// accepted there and drawn as nothing later.
TEST(ScaledImageTest, APictureWhosePixelsCannotBeDecodedIsRefusedWhereItLoads) {
  ScaledImage whole;
  ASSERT_TRUE(LoadBytes(BmpWithPixelBytes(40, 30, 40 * 30 * 4), &whole));
  EXPECT_EQ(whole.Width(), 40);

  testing::ScopedLogCapture log;
  ScaledImage cut;
  EXPECT_FALSE(LoadBytes(BmpWithPixelBytes(400, 300, 64), &cut));
  EXPECT_TRUE(cut.IsEmpty());
  EXPECT_TRUE(log.ContainsPrefix("Failed to load a bitmap")) << "no refusal logged";
}

}  // namespace
}  // namespace ostrel
