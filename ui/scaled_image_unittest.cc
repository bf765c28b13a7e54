#include "ui/scaled_image.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "base/resource_source.h"
#include "testing/log_capture.h"
#include "ui/png_decoder.h"
#include "ui/ui_test_util.h"

namespace ostrel {
namespace {

// Through GDI+, as a downloaded slide loads.
bool LoadBytes(std::string_view bytes, ScaledImage* image, double factor = 1.0) {
  IStream* stream =
      ::SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()));
  if (!stream) return false;
  bool loaded = image->LoadFromStream(stream, factor);
  stream->Release();
  return loaded;
}

bool LoadBytes(const std::vector<uint8_t>& bytes, ScaledImage* image) {
  return LoadBytes(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), image);
}

// GDI+ reads a picture's pixels when it is first drawn unless told to at
// once: a picture that cannot be decoded is refused where it is loaded
// (for a slide, on the download thread, which then counts a failure), not
// accepted there and drawn as nothing later.
TEST(ScaledImageTest, APictureWhosePixelsCannotBeDecodedIsRefusedWhereItLoads) {
  ScaledImage whole;
  ASSERT_TRUE(LoadBytes(testing::Bmp32(40, 30, 40 * 30 * 4), &whole));
  EXPECT_EQ(whole.Width(), 40);

  testing::ScopedLogCapture log;
  ScaledImage cut;
  EXPECT_FALSE(LoadBytes(testing::Bmp32(400, 300, 64), &cut));
  EXPECT_TRUE(cut.IsEmpty());
  EXPECT_TRUE(log.ContainsPrefix("Failed to load a bitmap")) << "no refusal logged";
}

BOOL CALLBACK AddResourceId(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR ids) {
  if (IS_INTRESOURCE(name)) reinterpret_cast<std::vector<int>*>(ids)->push_back(static_cast<int>(LOWORD(name)));
  return TRUE;
}

std::string_view ResourceBytes(int id) { return OwnModuleResources().Load(kPictureResourceType, ResourceIdName(id)); }

// The whole picture drawn onto clear premultiplied pixels.
std::vector<uint8_t> DrawnPixels(const ScaledImage& image) {
  std::vector<uint8_t> pixels(static_cast<size_t>(image.Width()) * image.Height() * 4, 0);
  PixelCanvas canvas{pixels.data(), image.Width(), image.Height()};
  image.Draw(canvas, 0, 0, image.Width(), image.Height(), 0, 0, image.Width(), image.Height());
  return pixels;
}

// The built-in pictures load through the product's own PNG decoder; drawn,
// each must be what the system's decoder makes of the same bytes (premultiplied
// values may round one step apart). Between them the pictures use every
// filter, palettes of 4 and 8 bits with transparency, 1-bit grey and
// truecolour with alpha.
TEST(ScaledImageTest, BuiltInPicturesDrawAsTheSystemsDecoderDrawsThem) {
  std::vector<int> ids;
  ::EnumResourceNamesW(nullptr, MAKEINTRESOURCEW(10) /* RT_RCDATA */, AddResourceId,
                       reinterpret_cast<LONG_PTR>(&ids));
  int pictures = 0;
  for (int id : ids) {
    std::string_view bytes = ResourceBytes(id);
    if (bytes.substr(0, 4) != "\x89PNG") continue;
    ++pictures;
    PremultipliedPixels decoded;
    EXPECT_TRUE(DecodePng(bytes, &decoded)) << "picture " << id << " is left to the system's decoder";

    ScaledImage own;
    ASSERT_TRUE(own.Load({id, 0})) << id;
    ScaledImage system;
    ASSERT_TRUE(LoadBytes(bytes, &system, own.factor())) << id;
    ASSERT_EQ(own.Width(), system.Width()) << id;
    ASSERT_EQ(own.Height(), system.Height()) << id;

    std::vector<uint8_t> own_pixels = DrawnPixels(own);
    std::vector<uint8_t> system_pixels = DrawnPixels(system);
    size_t differing = 0;
    for (size_t i = 0; i < own_pixels.size(); ++i)
      if (std::abs(own_pixels[i] - system_pixels[i]) > 1 && differing++ == 0)
        ADD_FAILURE() << "picture " << id << " byte " << i << ": " << int{own_pixels[i]} << " against "
                      << int{system_pixels[i]};
    EXPECT_EQ(differing, 0u) << "picture " << id;
  }
  EXPECT_GT(pictures, 50);
}

}  // namespace
}  // namespace ostrel
